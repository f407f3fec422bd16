#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Klangor needs.
# Idempotent and quick when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  sox libsox-fmt-all time bc
  lame mpg123 ffmpeg
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  vorbis-tools flac faad libopencore-amrnb-dev libtag1-dev
  libasound2-dev alsa-utils
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev xvfb xauth
  espeak-ng python3-numpy hyperfine
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
