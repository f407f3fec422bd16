#!/usr/bin/env bash
# Until the editor window exists, `make run` shows klangor-batch at work on a demo sound:
# it makes a few seconds of audio with sox, probes it, and saves it again through Klangor.
set -euo pipefail
build=${1:-build}
batch="$build/apps/klangor-batch/klangor-batch"
demo=$(mktemp -d "${TMPDIR:-/tmp}/klangor-demo-XXXXXX")
trap 'rm -rf "$demo"' EXIT

sox -V1 -n -b 24 -c 2 -r 48000 "$demo/demo.wav" synth 4 pluck C3 pluck E3 fade 0 4 1 vol 0.8
mkdir "$demo/out"
echo "Demo sound:"
"$batch" --probe "$demo/demo.wav"
echo "Loading it into Klangor's block store and saving it as 16-bit WAV:"
"$batch" --output-folder "$demo/out" "$demo/demo.wav"
"$batch" --probe "$demo/out/demo.wav"
echo "klangor-batch works; see README.md for its options."
