#!/usr/bin/env bash
# Benchmarks: the Google Benchmark programs, then Klangor against its peer tools on the
# same files in the same run, with the ratios (peer time / Klangor time: above 1 means
# Klangor is faster).
#   scripts/bench.sh [BUILD]            everything
#   BENCH_ONLY=peers scripts/bench.sh   only the peer comparison
#   BENCH_ONLY=rate scripts/bench.sh    only the sample-rate converter against ffmpeg
#   BENCH_ONLY=save scripts/bench.sh    only saving as MP3, Ogg and FLAC against the encoders alone
#   BENCH_ONLY=vocoder scripts/bench.sh speed only and pitch only against sox tempo and pitch
#   BENCH_ONLY=store scripts/bench.sh   only loading into the block store and saving, against sox
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
data="$build/bench-data"
batch="$build/apps/klangor-batch/klangor-batch"
mkdir -p "$data"

# The MP3 benchmarks' file: 60 minutes at 192 kbit/s joint stereo, made once with sox and lame.
mp3_60="$data/in60-192.mp3"
case "${BENCH_ONLY:-}" in rate | save | vocoder | store) need_mp3=0 ;; *) need_mp3=1 ;; esac
if [ "$need_mp3" = 1 ] && [ ! -f "$mp3_60" ]; then
  sox -V1 -n -b 16 -c 2 -r 44100 -t wav - synth 3600 pinknoise synth 3600 sine mix 300-2000 \
    synth 3600 pluck mix 220 tremolo 3 40 vol 0.4 | lame --quiet -b 192 -m j - "$mp3_60.part"
  mv "$mp3_60.part" "$mp3_60"
fi
export KLANGOR_BENCH_MP3="$mp3_60"

if [ -z "${BENCH_ONLY:-}" ]; then
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

# CPU time (user + sys) of one run, in seconds: steadier than wall time on a shared machine.
# Each run starts with the files of the one before written out (sync), so that it does not
# pay for their write-back.
cpu_of() {
  local clean=$1; shift
  rm -rf $clean
  sync
  /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.3f", $1 + $2}'
}

# Ten minutes of music-like stereo (noise, a sweep and plucked notes), made once.
music10() {
  local file="$data/music10.wav"
  [ -f "$file" ] || sox -V1 -R -n -b 16 -c 2 -r 44100 "$file" synth 600 pinknoise synth 600 sine mix 300-2000 \
    synth 600 pluck mix 220 tremolo 3 40 vol 0.4
  echo "$file"
}

# The median of a list of numbers.
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

peak_rss_mb() {
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.1f", $1 / 1024}'
}

# Wall-clock and CPU seconds (user + sys) of one run: "WALL CPU".
wall_cpu_of() {
  local clean=$1; shift
  rm -rf $clean
  sync
  /usr/bin/time -f '%e %U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.3f %.3f\n", $1, $2 + $3}'
}

if [ -z "${BENCH_ONLY:-}" ] || [ "$BENCH_ONLY" = save ]; then
  echo
  echo "== Saving 10 minutes of stereo as MP3 (128 kbit/s), Ogg (q 4) and FLAC: klangor-batch against the encoder alone =="
  save10="$data/save10.wav"
  [ -f "$save10" ] || sox -V1 -R -n -b 16 -c 2 -r 44100 "$save10" synth 600 pinknoise synth 600 sine mix 300-2000 \
    synth 600 pluck mix 220 tremolo 3 40 vol 0.4
  home="$data/save-home"
  mkdir -p "$home/config/Tessaly Audio" "$home/data" "$home/run" "$data/save-out"
  chmod 700 "$home/run"
  # Stereo for Ogg and FLAC (their stored default is mono); the MP3 defaults are 128 kbit/s joint stereo.
  printf '[OggEncoder]\nChannels=2\n[FlacEncoder]\nChannels=2\n' > "$home/config/Tessaly Audio/Klangor.ini"
  own() {
    XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" \
      "$batch" -q --format "$1" --output-folder "$data/save-out" "$save10"
  }
  for format in mp3 ogg flac; do
    case $format in
      mp3) peer=(lame --quiet -m j -h -b 128 "$save10" "$data/peer.mp3") ;;
      ogg) peer=(oggenc -Q -q 4 -o "$data/peer.ogg" "$save10") ;;
      flac) peer=(flac -s -f -4 -o "$data/peer.flac" "$save10") ;;
    esac
    peer_times=(); own_times=()
    for _ in 1 2 3; do
      peer_times+=("$(best_of 1 "$data/peer.$format" "${peer[@]}")")
      own_times+=("$(best_of 1 "$data/save-out/save10.$format" own "$format")")
    done
    p=$(median "${peer_times[@]}"); o=$(median "${own_times[@]}")
    printf '%-5s %-8s %6.2f s   klangor-batch --format %-5s %6.2f s   ratio %s\n' "$format" "${peer[0]}" "$p" "$format" "$o" "$(ratio "$p" "$o")"
  done
  rm -rf "$data/save-out" "$data/peer.mp3" "$data/peer.ogg" "$data/peer.flac"
  [ "${BENCH_ONLY:-}" = save ] && exit 0
fi

if [ -z "${BENCH_ONLY:-}" ] || [ "$BENCH_ONLY" = peers ] || [ "$BENCH_ONLY" = vocoder ]; then
  echo
  echo "== Speed only and pitch only: 10 minutes of stereo 44100 Hz, klangor-batch against sox =="
  voc10=$(music10)
  mkdir -p "$data/voc-out"
  # 150 % pitch is 1200 log2(1.5) = 701.955 cents. Paired rounds (one run of each per round,
  # in turn), medians of 7 of wall and CPU time.
  vocoder_pair() {
    local label=$1 command=$2; shift 2
    local peer_wall=() peer_cpu=() own_wall=() own_cpu=() wall cpu
    for _ in 1 2 3 4 5 6 7; do
      read -r wall cpu < <(wall_cpu_of "$data/voc-out/sox.wav" sox -V1 "$voc10" "$data/voc-out/sox.wav" "$@")
      peer_wall+=("$wall"); peer_cpu+=("$cpu")
      read -r wall cpu < <(wall_cpu_of "$data/voc-out/music10.wav" "$batch" -q --command "$command" --output-folder "$data/voc-out" "$voc10")
      own_wall+=("$wall"); own_cpu+=("$cpu")
    done
    local pw pc ow oc
    pw=$(median "${peer_wall[@]}"); pc=$(median "${peer_cpu[@]}")
    ow=$(median "${own_wall[@]}"); oc=$(median "${own_cpu[@]}")
    printf '%-34s %6.2f s wall, %6.2f s CPU\n' "sox in.wav out.wav $*:" "$pw" "$pc"
    printf '%-34s %6.2f s wall, %6.2f s CPU\n' "klangor-batch --command $command:" "$ow" "$oc"
    echo "ratio sox / klangor-batch ($label): $(ratio "$pw" "$ow") wall, $(ratio "$pc" "$oc") CPU"
  }
  vocoder_pair "speed 150 %" 14=150 tempo 1.5
  vocoder_pair "pitch 150 %" 15=150 pitch 701.955
  rm -rf "$data/voc-out"
  [ "${BENCH_ONLY:-}" = vocoder ] && exit 0
fi

# (the sample-rate section is not indented: it runs for every choice but store)
if [ "${BENCH_ONLY:-}" != store ]; then
echo
echo "== Sample-rate converter: 10 minutes of stereo 44100 -> 48000 Hz, klangor-batch against ffmpeg =="
rate10=$(music10)
mkdir -p "$data/rate-pair"
# Paired rounds (one run of each per round, in turn), medians of 7.
peer_wall=(); peer_cpu=(); own_wall=(); own_cpu=()
for _ in 1 2 3 4 5 6 7; do
  read -r wall cpu < <(wall_cpu_of "$data/rate-pair/ffmpeg.wav" ffmpeg -v error -y -i "$rate10" -ar 48000 "$data/rate-pair/ffmpeg.wav")
  peer_wall+=("$wall"); peer_cpu+=("$cpu")
  read -r wall cpu < <(wall_cpu_of "$data/rate-pair/music10.wav" "$batch" -q --command 17=48000 --output-folder "$data/rate-pair" "$rate10")
  own_wall+=("$wall"); own_cpu+=("$cpu")
done
peer_wall=$(median "${peer_wall[@]}"); peer_cpu=$(median "${peer_cpu[@]}")
own_wall=$(median "${own_wall[@]}"); own_cpu=$(median "${own_cpu[@]}")
echo "ffmpeg -i in.wav -ar 48000 out.wav:       ${peer_wall} s wall, ${peer_cpu} s CPU"
echo "klangor-batch --command 17=48000:         ${own_wall} s wall, ${own_cpu} s CPU"
echo "ratio ffmpeg / klangor-batch, wall time:  $(ratio "$peer_wall" "$own_wall")"
echo "ratio ffmpeg / klangor-batch, CPU time:   $(ratio "$peer_cpu" "$own_cpu")"
rm -rf "$data/rate-pair"
[ "${BENCH_ONLY:-}" = "rate" ] && exit 0
fi

echo
echo "== Load and save a 60-minute stereo 16-bit 44100 Hz WAV file =="
in60="$data/in60.wav"
[ -f "$in60" ] || sox -V1 -n -b 16 -c 2 -r 44100 "$in60" synth 3600 sine 440 sine 660 vol 0.5
mkdir -p "$data/out"
sox_time=$(best_of 3 "$data/sox-out.wav" sox -V1 "$in60" "$data/sox-out.wav")
# Without commands the batch converts straight into the new file; with a command that changes
# nothing (0 ms of silence) the sound goes through the block store, as the editor loads it.
direct_time=$(best_of 3 "$data/out/in60.wav" "$batch" -q --output-folder "$data/out" "$in60")
klangor_time=$(best_of 3 "$data/out/in60.wav" "$batch" -q --command 1=0 --output-folder "$data/out" "$in60")
echo "sox in.wav out.wav:                         ${sox_time} s"
echo "klangor-batch in.wav (straight conversion): ${direct_time} s"
echo "ratio sox / that:                           $(ratio "$sox_time" "$direct_time")"
echo "klangor-batch --command 1=0 (block store):  ${klangor_time} s"
echo "ratio sox / that:                           $(ratio "$sox_time" "$klangor_time")"
echo "its peak resident:                          $(peak_rss_mb "$batch" -q --command 1=0 --output-folder "$data/out" "$in60") MB"
# CPU time, steadier than wall time on a shared machine; the goal is at most sox's. Each tool
# runs twice in a row and the second run counts: a virtual machine hands memory freed for a
# while back to its host, and the first touch of it again (here 1.9 GB of file pages for
# Klangor, 0.6 GB for sox) costs more kernel time than the work itself.
sox_cpu=(); klangor_cpu=()
for _ in 1 2 3 4 5; do
  cpu_of "$data/sox-out.wav" sox -V1 "$in60" "$data/sox-out.wav" >/dev/null
  sox_cpu+=("$(cpu_of "$data/sox-out.wav" sox -V1 "$in60" "$data/sox-out.wav")")
  cpu_of "$data/out/in60.wav" "$batch" -q --command 1=0 --output-folder "$data/out" "$in60" >/dev/null
  klangor_cpu+=("$(cpu_of "$data/out/in60.wav" "$batch" -q --command 1=0 --output-folder "$data/out" "$in60")")
done
sox_cpu=$(median "${sox_cpu[@]}"); klangor_cpu=$(median "${klangor_cpu[@]}")
echo "CPU time (user+sys, median of 5, warm):      sox ${sox_cpu} s, klangor-batch --command 1=0 ${klangor_cpu} s"
echo "ratio sox / klangor-batch, CPU time:        $(ratio "$sox_cpu" "$klangor_cpu")"
rm -f "$data/sox-out.wav" "$data/out/in60.wav"
[ "${BENCH_ONLY:-}" = store ] && exit 0

echo
echo "== GSM 06.10: decode and encode a 10-minute 8000 Hz mono file =="
speech="$data/speech8k.wav"
[ -f "$speech" ] || sox -V1 -R -n -b 16 -c 1 -r 8000 "$speech" synth 600 sine 150-900 sine 1700 pinknoise vol 0.5
gsm_in="$data/speech8k.gsm"
[ -f "$gsm_in" ] || sox -V1 "$speech" -t gsm "$gsm_in"
mkdir -p "$data/gsm-out"
sox_dec=$(best_of 3 "$data/sox-dec.wav" sox -V1 "$gsm_in" "$data/sox-dec.wav")
klangor_dec=$(best_of 3 "$data/gsm-out/speech8k.wav" "$batch" -q --format wav --output-folder "$data/gsm-out" "$gsm_in")
sox_enc=$(best_of 3 "$data/sox-enc.gsm" sox -V1 "$speech" -t gsm "$data/sox-enc.gsm")
klangor_enc=$(best_of 3 "$data/gsm-out/speech8k.gsm" "$batch" -q --format gsm --output-folder "$data/gsm-out" "$speech")
echo "sox in.gsm out.wav:                 ${sox_dec} s ($(echo "scale=0; 600 / $sox_dec" | bc -l) x real time)"
echo "klangor-batch --format wav in.gsm:  ${klangor_dec} s ($(echo "scale=0; 600 / $klangor_dec" | bc -l) x real time)"
echo "ratio sox / klangor-batch (decode): $(ratio "$sox_dec" "$klangor_dec")"
echo "sox in.wav out.gsm:                 ${sox_enc} s ($(echo "scale=0; 600 / $sox_enc" | bc -l) x real time)"
echo "klangor-batch --format gsm in.wav:  ${klangor_enc} s ($(echo "scale=0; 600 / $klangor_enc" | bc -l) x real time)"
echo "ratio sox / klangor-batch (encode): $(ratio "$sox_enc" "$klangor_enc")"
rm -rf "$data/sox-dec.wav" "$data/sox-enc.gsm" "$data/gsm-out"

echo
echo "== MP3: decode a 60-minute 192 kbit/s joint-stereo file to a WAV file =="
mkdir -p "$data/mp3-out"
lesser() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
mpg123_time="" ffmpeg_time="" klangor_time=""
# The programs take turns, three rounds, so that a busy machine slows all of them alike.
for _ in 1 2 3; do
  mpg123_time=$(lesser "$mpg123_time" "$(best_of 1 "$data/mpg123-out.wav" mpg123 -q -w "$data/mpg123-out.wav" "$mp3_60")")
  ffmpeg_time=$(lesser "$ffmpeg_time" "$(best_of 1 "$data/ffmpeg-out.wav" ffmpeg -v error -y -i "$mp3_60" "$data/ffmpeg-out.wav")")
  klangor_time=$(lesser "$klangor_time" "$(best_of 1 "$data/mp3-out/in60-192.wav" "$batch" -q --format wav --output-folder "$data/mp3-out" "$mp3_60")")
done
seek_us=$("$build/bench/klangor_bench" --benchmark_filter='^BM_Mp3SeekToMiddle' --benchmark_format=csv 2>/dev/null |
  awk -F, '/BM_Mp3SeekToMiddle/ {print $3}')
echo "mpg123 -w out.wav in.mp3:                 ${mpg123_time} s"
echo "ffmpeg -i in.mp3 out.wav:                 ${ffmpeg_time} s"
echo "klangor-batch --format wav in.mp3:        ${klangor_time} s"
echo "ratio mpg123 / klangor-batch:             $(ratio "$mpg123_time" "$klangor_time")"
echo "ratio ffmpeg / klangor-batch:             $(ratio "$ffmpeg_time" "$klangor_time")"
echo "seek to the middle and read a frame:      ${seek_us} us"
rm -rf "$data/mpg123-out.wav" "$data/ffmpeg-out.wav" "$data/mp3-out"

echo
echo "== Dynamic range compressor end to end on a 10-minute stereo 44100 Hz file =="
in10="$data/in10.wav"
[ -f "$in10" ] || sox -V1 -R -n -b 16 -c 2 -r 44100 "$in10" synth 600 pinknoise tremolo 0.5 80 vol 0.7
mkdir -p "$data/fx-out"
sox_time=$(best_of 3 "$data/sox-fx.wav" sox -V1 "$in10" "$data/sox-fx.wav" compand 0.3,1 6:-70,-60,-20 -5 -90 0.2)
klangor_time=$(best_of 3 "$data/fx-out/in10.wav" "$batch" -q --command 16=-20,2,3 --output-folder "$data/fx-out" "$in10")
echo "sox in.wav out.wav compand ...:           ${sox_time} s ($(echo "scale=0; 600 / $sox_time" | bc -l) x real time)"
echo "klangor-batch --command 16=-20,2,3:       ${klangor_time} s ($(echo "scale=0; 600 / $klangor_time" | bc -l) x real time)"
echo "ratio sox / klangor-batch:                $(ratio "$sox_time" "$klangor_time")"
rm -rf "$data/sox-fx.wav" "$data/fx-out"

echo
echo "== Echo, reverb and the 2048-tap FIR on a 10-minute stereo 44100 Hz file =="
in10="$data/in10.wav"
[ -f "$in10" ] || sox -V1 -R -n -b 16 -c 2 -r 44100 "$in10" synth 600 pinknoise tremolo 0.5 80 vol 0.7
mkdir -p "$data/fx-out"
x_real() { echo "scale=0; 600 / $1" | bc -l; }
sox_echo=$(best_of 3 "$data/sox-fx.wav" sox -V1 "$in10" "$data/sox-fx.wav" echo 0.8 0.9 800 0.5)
klangor_echo=$(best_of 3 "$data/fx-out/in10.wav" "$batch" -q --command 7=800,50 --output-folder "$data/fx-out" "$in10")
sox_reverb=$(best_of 3 "$data/sox-fx.wav" sox -V1 "$in10" "$data/sox-fx.wav" reverb)
klangor_reverb=$(best_of 3 "$data/fx-out/in10.wav" "$batch" -q --command 8=50,100 --output-folder "$data/fx-out" "$in10")
echo "sox in.wav out.wav echo 0.8 0.9 800 0.5:  ${sox_echo} s ($(x_real "$sox_echo") x real time)"
echo "klangor-batch --command 7=800,50:         ${klangor_echo} s ($(x_real "$klangor_echo") x real time)"
echo "ratio sox / klangor-batch (echo):         $(ratio "$sox_echo" "$klangor_echo")"
echo "sox in.wav out.wav reverb:                ${sox_reverb} s ($(x_real "$sox_reverb") x real time)"
echo "klangor-batch --command 8=50,100:         ${klangor_reverb} s ($(x_real "$klangor_reverb") x real time)"
echo "ratio sox / klangor-batch (reverb):       $(ratio "$sox_reverb" "$klangor_reverb")"
# sox's FFT-based fir with 2048 taps, decoding the file and discarding the result, against
# the telephone effect's FIR alone (the Google Benchmark on audio held in memory).
coefs="$data/fir2048.txt"
[ -f "$coefs" ] || awk 'BEGIN { for (i = 0; i < 2048; ++i) { x = (i - 1023.5) / 1024; printf "%.9f\n", 0.001 * (1 - x * x) } }' > "$coefs"
sox_fir=$(best_of 3 "" sox -V1 "$in10" -n fir "$coefs")
fir_ms=$("$build/bench/klangor_bench" --benchmark_filter='^BM_TelephoneStream' --benchmark_format=csv 2>/dev/null |
  awk -F, '/BM_TelephoneStream/ {print $3}')
fir_time=$(echo "scale=3; $fir_ms / 1000" | bc -l)
echo "sox in.wav -n fir (2048 taps):            ${sox_fir} s ($(x_real "$sox_fir") x real time)"
echo "telephone effect's FIR (bench, in memory): ${fir_time} s ($(x_real "$fir_time") x real time)"
echo "ratio sox / klangor FIR:                  $(ratio "$sox_fir" "$fir_time")"
rm -rf "$data/sox-fx.wav" "$data/fx-out"

echo
echo "== Equalizer, high-pass filter and spectral subtraction on a 10-minute stereo 44100 Hz file =="
in10="$data/in10.wav"
[ -f "$in10" ] || sox -V1 -R -n -b 16 -c 2 -r 44100 "$in10" synth 600 pinknoise tremolo 0.5 80 vol 0.7
mkdir -p "$data/fx-out" "$data/xdg/Tessaly Audio/Klangor"
x_real() { echo "scale=0; 600 / $1" | bc -l; }
# The equalizer's curve ("equalizer.dat": count, then position and level bytes) boosts the
# bass and the treble and cuts the middle; sox gets ten bands of the same shape.
printf '\007\000\346\050\310\132\200\226\074\310\200\346\334\377\377' > "$data/xdg/Tessaly Audio/Klangor/equalizer.dat"
eq_bands=""
for band in 31:+5 62:+5 125:+4 250:+2 500:0 1000:-4 2000:-6 4000:0 8000:+4 16000:+6; do
  eq_bands="$eq_bands equalizer ${band%%:*} 1q ${band##*:}"
done
sox_eq=$(best_of 3 "$data/sox-fx.wav" sox -V1 "$in10" "$data/sox-fx.wav" $eq_bands)
klangor_eq=$(best_of 3 "$data/fx-out/in10.wav" env XDG_DATA_HOME="$data/xdg" "$batch" -q --command 6 --output-folder "$data/fx-out" "$in10")
sox_hp=$(best_of 3 "$data/sox-fx.wav" sox -V1 "$in10" "$data/sox-fx.wav" highpass 250)
klangor_hp=$(best_of 3 "$data/fx-out/in10.wav" "$batch" -q --command 5=250 --output-folder "$data/fx-out" "$in10")
sox -V1 "$in10" -n trim 0 2 noiseprof "$data/noise.prof"
sox_nr=$(best_of 3 "$data/sox-fx.wav" sox -V1 "$in10" "$data/sox-fx.wav" noisered "$data/noise.prof" 0.2)
klangor_nr=$(best_of 3 "$data/fx-out/in10.wav" "$batch" -q --command 11=30 --output-folder "$data/fx-out" "$in10")
echo "sox in.wav out.wav equalizer x 10:        ${sox_eq} s ($(x_real "$sox_eq") x real time)"
echo "klangor-batch --command 6 (equalizer):    ${klangor_eq} s ($(x_real "$klangor_eq") x real time)"
echo "ratio sox / klangor-batch (equalizer):    $(ratio "$sox_eq" "$klangor_eq")"
echo "sox in.wav out.wav highpass 250:          ${sox_hp} s ($(x_real "$sox_hp") x real time)"
echo "klangor-batch --command 5=250:            ${klangor_hp} s ($(x_real "$klangor_hp") x real time)"
echo "ratio sox / klangor-batch (high-pass):    $(ratio "$sox_hp" "$klangor_hp")"
echo "sox in.wav out.wav noisered prof 0.2:     ${sox_nr} s ($(x_real "$sox_nr") x real time)"
echo "klangor-batch --command 11=30:            ${klangor_nr} s ($(x_real "$klangor_nr") x real time)"
echo "ratio sox / klangor-batch (noise red.):   $(ratio "$sox_nr" "$klangor_nr")"
rm -rf "$data/sox-fx.wav" "$data/fx-out" "$data/noise.prof"

echo
echo "== Sample rate and speed: a 10-minute stereo 44100 Hz file =="
music10=$(music10)
mkdir -p "$data/rate-out"
seconds() { echo "scale=0; 600 / $1" | bc -l; }
sox_rate=$(best_of 3 "$data/sox-rate.wav" sox -V1 "$music10" -r 48000 "$data/sox-rate.wav")
ffmpeg_rate=$(best_of 3 "$data/ffmpeg-rate.wav" ffmpeg -v error -y -i "$music10" -ar 48000 "$data/ffmpeg-rate.wav")
klangor_rate=$(best_of 3 "$data/rate-out/music10.wav" "$batch" -q --command 17=48000 --output-folder "$data/rate-out" "$music10")
echo "sox in.wav -r 48000 out.wav:              ${sox_rate} s ($(seconds "$sox_rate") x real time)"
echo "ffmpeg -i in.wav -ar 48000 out.wav:       ${ffmpeg_rate} s ($(seconds "$ffmpeg_rate") x real time)"
echo "klangor-batch --command 17=48000:         ${klangor_rate} s ($(seconds "$klangor_rate") x real time)"
echo "ratio sox / klangor-batch (44100->48000): $(ratio "$sox_rate" "$klangor_rate")"
echo "ratio ffmpeg / klangor-batch:             $(ratio "$ffmpeg_rate" "$klangor_rate")"
# The same three in CPU time, in paired rounds (one run of each per round), medians of 5.
sox_cpu=(); ffmpeg_cpu=(); klangor_cpu=()
for _ in 1 2 3 4 5; do
  sox_cpu+=("$(cpu_of "$data/sox-rate.wav" sox -V1 "$music10" -r 48000 "$data/sox-rate.wav")")
  ffmpeg_cpu+=("$(cpu_of "$data/ffmpeg-rate.wav" ffmpeg -v error -y -i "$music10" -ar 48000 "$data/ffmpeg-rate.wav")")
  klangor_cpu+=("$(cpu_of "$data/rate-out/music10.wav" "$batch" -q --command 17=48000 --output-folder "$data/rate-out" "$music10")")
done
sox_cpu=$(median "${sox_cpu[@]}"); ffmpeg_cpu=$(median "${ffmpeg_cpu[@]}"); klangor_cpu=$(median "${klangor_cpu[@]}")
echo "CPU time (user+sys, median of 5 paired): sox ${sox_cpu} s, ffmpeg ${ffmpeg_cpu} s, klangor-batch ${klangor_cpu} s"
echo "ratio sox / klangor-batch, CPU time:      $(ratio "$sox_cpu" "$klangor_cpu")"
echo "ratio ffmpeg / klangor-batch, CPU time:   $(ratio "$ffmpeg_cpu" "$klangor_cpu")"
# The converter's filter: image, alias and passband ripple (printed by its test).
filters="$build/tests/effects/effects_test"
[ -x "$filters" ] && "$filters" --gtest_filter='RateConverterTest.FilterResponse*' 2>/dev/null | grep '^\[ FILTER' || true
rm -rf "$data/sox-rate.wav" "$data/ffmpeg-rate.wav" "$data/rate-out"

echo
echo "== Opening a 60-minute stereo file into the block store, against its decoder alone =="
# FLAC and OGG go through flac and oggdec (read while they write); M4A through the aacdec
# shim (ffmpeg into a temporary WAV file); the same AAC data named .mp4 is read by FFmpeg
# inside Klangor.
load="$build/bench/klangor_load"
export PATH="$build/apps/klangor-batch:$PATH"  # the shipped decoder shims
in60=$data/in60.wav
flac60="$data/open60.flac" ogg60="$data/open60.ogg" m4a60="$data/open60.m4a" mp460="$data/open60.mp4"
[ -f "$flac60" ] || flac -s -f -o "$flac60" "$in60"
[ -f "$ogg60" ] || oggenc -Q -q 4 -o "$ogg60" "$in60"
[ -f "$m4a60" ] || ffmpeg -v error -y -i "$in60" -c:a aac -b:a 128k "$m4a60"
[ -f "$mp460" ] || cp "$m4a60" "$mp460"
flac_time="" ogg_time="" ffmpeg_time="" load_flac="" load_ogg="" load_m4a="" load_mp4=""
for _ in 1 2 3; do
  flac_time=$(lesser "$flac_time" "$(best_of 1 "$data/peer.wav" flac -s -d -f -o "$data/peer.wav" "$flac60")")
  load_flac=$(lesser "$load_flac" "$(best_of 1 "" "$load" "$flac60")")
  ogg_time=$(lesser "$ogg_time" "$(best_of 1 "$data/peer.wav" oggdec -Q -o "$data/peer.wav" "$ogg60")")
  load_ogg=$(lesser "$load_ogg" "$(best_of 1 "" "$load" "$ogg60")")
  ffmpeg_time=$(lesser "$ffmpeg_time" "$(best_of 1 "$data/peer.wav" ffmpeg -v error -y -i "$m4a60" "$data/peer.wav")")
  load_m4a=$(lesser "$load_m4a" "$(best_of 1 "" "$load" "$m4a60")")
  load_mp4=$(lesser "$load_mp4" "$(best_of 1 "" "$load" "$mp460")")
done
echo "flac -d -o out.wav in.flac:               ${flac_time} s"
echo "klangor_load in.flac (block store):       ${load_flac} s   ratio that / flac -d: $(ratio "$load_flac" "$flac_time") (goal <= 1.25)"
echo "oggdec -o out.wav in.ogg:                 ${ogg_time} s"
echo "klangor_load in.ogg (block store):        ${load_ogg} s   ratio that / oggdec: $(ratio "$load_ogg" "$ogg_time") (goal <= 1.25)"
echo "ffmpeg -i in.m4a out.wav:                 ${ffmpeg_time} s"
echo "klangor_load in.m4a (aacdec shim):        ${load_m4a} s   ratio ffmpeg / that: $(ratio "$ffmpeg_time" "$load_m4a")"
echo "klangor_load in.mp4 (FFmpeg in Klangor):  ${load_mp4} s   ratio ffmpeg / that: $(ratio "$ffmpeg_time" "$load_mp4") (goal >= 1)"
rm -f "$data/peer.wav"

echo "== Playback: the 10-minute music file into ALSA's null device (unpaced) and into a capture file =="
null_device=$("$batch" --list-devices | awk '/\(null\)$/ {print $1; exit}')
if [ -n "$null_device" ] && command -v aplay >/dev/null; then
  aplay_null=$(best_of 3 "" aplay -q -D null "$music10")
  klangor_null=$(best_of 3 "" "$batch" -q --play "$music10" --device "$null_device")
  echo "aplay -D null in.wav:                     ${aplay_null} s"
  echo "klangor-batch --play in.wav --device $null_device:  ${klangor_null} s"
  echo "ratio aplay / klangor-batch:              $(ratio "$aplay_null" "$klangor_null")"
fi
sox_copy=$(best_of 3 "$data/sox-copy.wav" sox -V1 "$music10" "$data/sox-copy.wav")
klangor_capture=$(best_of 3 "$data/capture.wav" "$batch" -q --play "$music10" --capture "$data/capture.wav")
echo "sox in.wav out.wav:                       ${sox_copy} s"
echo "klangor-batch --play in.wav --capture:    ${klangor_capture} s ($(seconds "$klangor_capture") x real time)"
echo "ratio sox / klangor-batch:                $(ratio "$sox_copy" "$klangor_capture")"
rm -f "$data/sox-copy.wav" "$data/capture.wav"

# The editor: its own benchmarks (offscreen), then the whole start of the program to a shown
# main window under Xvfb, 15 starts (the program reports the time itself).
if [ "${BENCH_ONLY:-}" != "peers" ] && [ -x "$build/bench/klangor_editor_bench" ]; then
  "$build/bench/klangor_editor_bench"
fi
if command -v xvfb-run >/dev/null && [ -x "$build/apps/klangor/klangor" ]; then
  home=$(mktemp -d "${TMPDIR:-/tmp}/klangor-bench-home-XXXXXX")
  mkdir -p "$home/run" && chmod 700 "$home/run"
  cat > "$home/starts.sh" <<STARTS
#!/usr/bin/env bash
for _ in \$(seq 15); do "$build/apps/klangor/klangor" 2>&1 | sed -n 's/.*shown after \([0-9]*\) ms/\1/p'; done
STARTS
  chmod +x "$home/starts.sh"
  times=$(XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" \
    KLANGOR_MACHINE_SETTINGS="$home/machine.ini" KLANGOR_QUIT_WHEN_SHOWN=1 KLANGOR_NO_STARTUP_WINDOW=1 \
    xvfb-run -a -s "-screen 0 1280x900x24" "$home/starts.sh" | sort -n)
  echo "klangor start to a shown main window (ms, 15 starts under Xvfb): $(echo $times)"
  echo "  median $(echo "$times" | sed -n 8p) ms, goal under 300 ms"
  rm -rf "$home"
fi
