#!/usr/bin/env bash
# Starts Klangor under Xvfb with a demo sound, a stereo piece and a one-hour recording, shows
# their waveforms (split views, a selection, single samples, the hour zoomed out), opens the
# menus and the main dialogs one after another and saves a PNG of the screen for each (how the
# look is reviewed). QT_SCALE_FACTOR=1.5 or 2 shows a high-density screen (with a larger
# SCREENSHOT_SCREEN, e.g. 2600x1900x24).
#   scripts/screenshots.sh [BUILD] [FOLDER]     (default: build, screenshots/)
set -euo pipefail
build=${1:-build}
out=${2:-screenshots}
klangor="$build/apps/klangor/klangor"
[ -x "$klangor" ] || { echo "screenshots: $klangor is missing; build first (make build)" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is missing (Debian package xvfb)" >&2; exit 2; }

home=$(mktemp -d "${TMPDIR:-/tmp}/klangor-shots-XXXXXX")
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config/Tessaly Audio" "$home/run"
chmod 700 "$home/run"
# A private profile: a window of a usual size (Xvfb has no window manager to maximise it), and
# no playing on open: Xvfb machines seldom have a sound card, and the virtual device stands in.
cat > "$home/config/Tessaly Audio/Klangor.ini" <<'INI'
[MainWindow]
Maximized=0
X=0
Y=24
Width=1100
Height=760
[Settings]
PlayWhenOpen=0
INI
sox -V1 -n -b 16 -c 2 -r 44100 "$home/demo.wav" synth 4 pluck C3 pluck E3 fade 0 4 1 vol 0.8
# Debian's python3 has numpy (python3-numpy); a python of one's own may not.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" "$(dirname "$0")/make_music.py" "$home/music.wav"
# An hour of speech-like noise whose level swells and falls every few minutes.
sox -V1 -n -b 16 -c 1 -r 11025 "$home/hour.wav" synth 3600 pinknoise tremolo 0.004 90 vol 0.7
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" \
  KLANGOR_MACHINE_SETTINGS="$home/machine.ini" KLANGOR_NO_STARTUP_WINDOW=1 KLANGOR_SOUND_OUT=virtual-fast KLANGOR_SCREENSHOTS="$out" \
  timeout 300 xvfb-run -a -s "-screen 0 ${SCREENSHOT_SCREEN:-1280x900x24}" "$klangor" "$home/demo.wav" "$home/music.wav" "$home/hour.wav"
echo "screenshots: $(ls "$out" | wc -l) pictures in $out"
