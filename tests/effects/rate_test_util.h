#pragma once
// Signals and measurements for the rate, channel and time-stretch tests.

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "audio/sound_stream.h"
#include "dynamics_test_util.h"

namespace klangor::test {

// A stream over samples held in memory (zeros outside them).
class LSamplesStream final : public LSoundStream {
 public:
  LSamplesStream(int32_t rate, int channels, std::vector<int32_t> samples, int32_t fullScale = 524272)
      : LSoundStream(rate, fullScale, channels), samples_(std::move(samples)) {}
  void Read(int32_t* frames, int32_t frameCount) override {
    const int c = Channels();
    const auto length = static_cast<int64_t>(samples_.size() / c);
    for (int32_t f = 0; f < frameCount; ++f) {
      const int64_t frame = int64_t{position_} + f;
      for (int k = 0; k < c; ++k) {
        frames[static_cast<size_t>(f) * c + k] = frame >= 0 && frame < length ? samples_[frame * c + k] : 0;
      }
    }
    position_ += frameCount;
  }
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return static_cast<int32_t>(samples_.size() / Channels()); }
  void Seek(int32_t frame) override { position_ = frame; }

 private:
  std::vector<int32_t> samples_;
  int32_t position_ = 0;
};

// Interleaved tones: channel c holds amplitude x sin(2 pi (freq + c x spread) t).
inline std::vector<int32_t> Tone(int32_t rate, int channels, int32_t frames, double freq, double amplitude,
                                 double spread = 0.0) {
  std::vector<int32_t> samples(static_cast<size_t>(frames) * channels);
  for (int32_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      samples[static_cast<size_t>(f) * channels + c] =
          static_cast<int32_t>(std::lround(amplitude * std::sin(2.0 * kPi * (freq + c * spread) * f / rate)));
    }
  }
  return samples;
}

inline LRef<LSoundStream> ToneStream(int32_t rate, int channels, int32_t frames, double freq, double amplitude,
                                     double spread = 0.0) {
  return MakeRef<LSamplesStream>(rate, channels, Tone(rate, channels, frames, freq, amplitude, spread));
}

// One channel of interleaved samples, frames [from, to).
inline std::vector<double> Channel(const std::vector<int32_t>& samples, int channels, int channel, int64_t from,
                                   int64_t to) {
  std::vector<double> out;
  for (int64_t f = from; f < to; ++f) out.push_back(samples[static_cast<size_t>(f) * channels + channel]);
  return out;
}

// The amplitude of the component at `freq` (Hann-windowed correlation).
inline double Amplitude(const std::vector<double>& x, double rate, double freq) {
  std::complex<double> sum = 0.0;
  double weights = 0.0;
  const size_t n = x.size();
  for (size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n));
    weights += w;
    sum += w * x[i] * std::polar(1.0, -2.0 * kPi * freq * static_cast<double>(i) / rate);
  }
  return 2.0 * std::abs(sum) / weights;
}

// The frequency between lo and hi (in steps of `step`) where the component is strongest.
inline double StrongestFrequency(const std::vector<double>& x, double rate, double lo, double hi, double step) {
  double best = -1.0;
  double at = lo;
  for (double f = lo; f <= hi; f += step) {
    const double a = Amplitude(x, rate, f);
    if (a > best) {
      best = a;
      at = f;
    }
  }
  return at;
}

inline double Db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace klangor::test
