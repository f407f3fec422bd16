#!/usr/bin/env bash
# Benchmarks: the Google Benchmark programs, then Klangor against its peer tools on the
# same files in the same run, with the ratios (peer time / Klangor time: above 1 means
# Klangor is faster).
#   scripts/bench.sh [BUILD]            everything
#   BENCH_ONLY=peers scripts/bench.sh   only the peer comparison
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
data="$build/bench-data"
batch="$build/apps/klangor-batch/klangor-batch"
mkdir -p "$data"

if [ "${BENCH_ONLY:-}" != "peers" ]; then
  "$build/bench/klangor_bench" --benchmark_min_time=0.2
fi

# Best wall-clock seconds of N runs of a command (its output files removed before each run).
best_of() {
  local runs=$1 clean=$2; shift 2
  local best=""
  for _ in $(seq "$runs"); do
    rm -rf $clean
    local start end elapsed
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    elapsed=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$elapsed < $best" | bc -l)" = 1 ]; then best=$elapsed; fi
  done
  echo "$best"
}

ratio() { echo "scale=2; $1 / $2" | bc -l; }

peak_rss_mb() {
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.1f", $1 / 1024}'
}

echo
echo "== Load and save a 60-minute stereo 16-bit 44100 Hz WAV file =="
in60="$data/in60.wav"
[ -f "$in60" ] || sox -V1 -n -b 16 -c 2 -r 44100 "$in60" synth 3600 sine 440 sine 660 vol 0.5
mkdir -p "$data/out"
sox_time=$(best_of 3 "$data/sox-out.wav" sox -V1 "$in60" "$data/sox-out.wav")
klangor_time=$(best_of 3 "$data/out/in60.wav" "$batch" -q --output-folder "$data/out" "$in60")
echo "sox in.wav out.wav:           ${sox_time} s"
echo "klangor-batch in.wav:         ${klangor_time} s"
echo "ratio sox / klangor-batch:    $(ratio "$sox_time" "$klangor_time")"
echo "klangor-batch peak resident:  $(peak_rss_mb "$batch" -q --output-folder "$data/out" "$in60") MB"
rm -f "$data/sox-out.wav" "$data/out/in60.wav"
