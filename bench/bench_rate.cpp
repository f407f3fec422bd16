// Sample-rate conversion, the phase vocoder and the FFT under them, on stereo audio held in
// memory (the arithmetic alone; scripts/bench.sh times klangor-batch on a file against sox
// and ffmpeg). "x_realtime" is how many times faster than real time the stream runs (Google
// Benchmark prints it as a rate: "1.2k/s" means 1200 times). Goals: 44100 to 48000 Hz
// faster than sox (about 435 times real time); speed only at 150 % 100 times or more.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/rate_converter.h"
#include "effects/fft.h"
#include "effects/grain_stretch.h"

namespace klangor {
namespace {

constexpr int kChannels = 2;
constexpr double kSeconds = 60;

// One second of stereo audio that repeats: tones, a sweep and noise, up to 16-bit full scale.
class LLoopStream final : public LSoundStream {
 public:
  explicit LLoopStream(int32_t rate) : LSoundStream(rate, 524272, kChannels), second_(static_cast<size_t>(rate) * kChannels) {
    uint32_t noise = 12345;
    for (int32_t i = 0; i < rate; ++i) {
      const double t = static_cast<double>(i) / rate;
      noise = noise * 1664525u + 1013904223u;
      const double hiss = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 40000;
      const double left = 150000 * std::sin(2 * 3.14159265358979 * 220 * t) + 100000 * std::sin(2 * 3.14159265358979 * (300 + 3000 * t) * t);
      const double right = 150000 * std::sin(2 * 3.14159265358979 * 330 * t) + 80000 * std::sin(2 * 3.14159265358979 * 5000 * t);
      second_[2 * static_cast<size_t>(i)] = static_cast<int32_t>(left + hiss);
      second_[2 * static_cast<size_t>(i) + 1] = static_cast<int32_t>(right - hiss);
    }
  }
  void Read(int32_t* frames, int32_t frameCount) override {
    const auto rate = static_cast<int64_t>(SampleRate());
    for (int32_t f = 0; f < frameCount; ++f) {
      const int64_t at = (position_ + f) % rate;
      frames[2 * static_cast<size_t>(f)] = second_[2 * static_cast<size_t>(at)];
      frames[2 * static_cast<size_t>(f) + 1] = second_[2 * static_cast<size_t>(at) + 1];
    }
    position_ += frameCount;
  }
  int32_t Position() const override { return static_cast<int32_t>(position_); }
  int32_t Length() const override { return static_cast<int32_t>(SampleRate() * kSeconds); }
  void Seek(int32_t frame) override { position_ = frame; }

 private:
  std::vector<int32_t> second_;
  int64_t position_ = 0;
};

void Drain(benchmark::State& state, LSoundStream& stream) {
  std::vector<int32_t> buffer(8192 * kChannels);
  const int32_t length = stream.Length();
  for (int32_t done = 0; done < length; done += 8192) stream.Read(buffer.data(), std::min(8192, length - done));
  benchmark::DoNotOptimize(buffer.data());
  state.counters["x_realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RateConvert(benchmark::State& state) {
  const auto from = static_cast<int32_t>(state.range(0));
  const auto to = static_cast<int32_t>(state.range(1));
  for (auto _ : state) {
    LRef<LSoundStream> stream = MakeRateConverter(MakeRef<LLoopStream>(from), to);
    Drain(state, *stream);
  }
}
BENCHMARK(BM_RateConvert)->Args({44100, 48000})->Args({48000, 44100})->Args({48000, 8000})->Args({44100, 22050})
    ->Unit(benchmark::kMillisecond);

void BM_TimeStretch(benchmark::State& state) {
  const double speed = static_cast<double>(state.range(0)) / 100;
  for (auto _ : state) {
    LRef<LSoundStream> stream = MakeTimeStretch(MakeRef<LLoopStream>(44100), speed);
    Drain(state, *stream);
  }
}
BENCHMARK(BM_TimeStretch)->Arg(150)->Arg(50)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_FftReal2048ForwardAndBack(benchmark::State& state) {
  LFft fft(2048);
  std::vector<float> samples(2048), re(1025), im(1025), back(2048);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = std::sin(0.01f * static_cast<float>(i * i));
  for (auto _ : state) {
    fft.RealForward(samples.data(), re.data(), im.data());
    fft.RealInverse(re.data(), im.data(), back.data());
    benchmark::DoNotOptimize(back.data());
  }
}
BENCHMARK(BM_FftReal2048ForwardAndBack);

}  // namespace
}  // namespace klangor
