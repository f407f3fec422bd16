#!/usr/bin/env bash
# `make run`: starts the editor with a demo sound when there is a display. Without one (a
# terminal, a server) it says so and shows klangor-batch at work instead: it makes a few
# seconds of audio with sox and lame, converts the MP3 to WAV, and runs a few effects on the
# sound through Klangor's block store.
set -euo pipefail
build=${1:-build}
batch="$build/apps/klangor-batch/klangor-batch"
editor="$build/apps/klangor/klangor"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # The sound stays: an editor that already runs opens it after this script has ended.
  sound="${TMPDIR:-/tmp}/klangor-demo-$(id -u).wav"
  sox -V1 -n -b 16 -c 2 -r 44100 "$sound" synth 4 pluck C3 pluck E3 fade 0 4 1 vol 0.8
  echo "Starting Klangor with a demo sound ($sound)."
  exec "$editor" "$sound"
fi
echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the editor needs a desktop."
echo "Here is klangor-batch, the command-line side of Klangor, at work instead."
echo
demo=$(mktemp -d "${TMPDIR:-/tmp}/klangor-demo-XXXXXX")
trap 'rm -rf "$demo"' EXIT

sox -V1 -n -b 16 -c 2 -r 44100 "$demo/demo.wav" synth 4 pluck C3 pluck E3 fade 0 4 1 vol 0.8
lame --quiet -b 192 "$demo/demo.wav" "$demo/demo.mp3"
mkdir "$demo/converted" "$demo/processed"
echo "Demo sounds:"
"$batch" --probe "$demo/demo.wav" "$demo/demo.mp3"
echo
echo "The MP3 decoded by Klangor into a WAV file:"
"$batch" --format wav --output-folder "$demo/converted" "$demo/demo.mp3"
"$batch" --probe "$demo/converted/demo.wav"
echo
echo "Half a second of silence at both ends, echo, then normalised to 90 %:"
"$batch" --command 1=500 --command 2=500 --command 7=300,40 --command 4=90 \
  --output-folder "$demo/processed" "$demo/demo.wav"
"$batch" --probe "$demo/processed/demo.wav"
echo
echo "klangor-batch works; see README.md for its options (klangor-batch --list-commands)."
