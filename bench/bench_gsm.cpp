// GSM 06.10 coding speed, with the speed as a multiple of real time (8000 samples a second).
// Goals: decoding at 300 times real time or faster, encoding at 100 times, on one core.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "formats/gsm_codec.h"

namespace klangor {
namespace {

constexpr int kFrames = 250;  // five seconds

std::vector<int32_t> SpeechLike() {
  std::vector<int32_t> samples(kFrames * kGsmFrameSamples);
  uint32_t noise = 1;
  for (size_t i = 0; i < samples.size(); ++i) {
    noise = noise * 1664525u + 1013904223u;
    const double t = static_cast<double>(i) / 8000.0;
    samples[i] = static_cast<int32_t>(180000 * std::sin(2 * M_PI * (150 + 300 * t) * t) +
                                      90000 * std::sin(2 * M_PI * 1700 * t) +
                                      static_cast<int32_t>(noise >> 20) - 2048);
  }
  return samples;
}

void SetRealTime(benchmark::State& state) {
  const double samples = static_cast<double>(state.iterations()) * kFrames * kGsmFrameSamples;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["x_real_time"] = benchmark::Counter(samples / 8000.0, benchmark::Counter::kIsRate);
}

void BM_GsmEncode(benchmark::State& state) {
  const std::vector<int32_t> samples = SpeechLike();
  std::vector<LGsmParameters> frames(kFrames);
  for (auto _ : state) {
    LGsmEncoder encoder;
    for (int f = 0; f < kFrames; ++f) encoder.Encode(&samples[static_cast<size_t>(f) * kGsmFrameSamples], &frames[f]);
    benchmark::DoNotOptimize(frames.data());
  }
  SetRealTime(state);
}
BENCHMARK(BM_GsmEncode)->Unit(benchmark::kMillisecond);

void BM_GsmDecode(benchmark::State& state) {
  const std::vector<int32_t> samples = SpeechLike();
  std::vector<LGsmParameters> frames(kFrames);
  LGsmEncoder encoder;
  for (int f = 0; f < kFrames; ++f) encoder.Encode(&samples[static_cast<size_t>(f) * kGsmFrameSamples], &frames[f]);
  std::vector<int32_t> out(samples.size());
  for (auto _ : state) {
    LGsmDecoder decoder;
    for (int f = 0; f < kFrames; ++f) decoder.Decode(frames[f], &out[static_cast<size_t>(f) * kGsmFrameSamples]);
    benchmark::DoNotOptimize(out.data());
  }
  SetRealTime(state);
}
BENCHMARK(BM_GsmDecode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace klangor
