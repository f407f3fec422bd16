#include "effects/modulated_line.h"

#include <algorithm>
#include <cmath>

#include "dsp/effect_math.h"

namespace klangor {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// trunc(gain x tap): gains are at most about 2^25 (a 32-bit percentage) and taps 2^31 in
// size, so the product always fits in 64 bits.
int64_t Trunc64(double value) { return static_cast<int64_t>(value); }

}  // namespace

double ModulationPhaseStep(double factor, double modulationHz, int32_t sampleRate) {
  const double step = kTwoPi * factor * modulationHz / sampleRate;
  return std::isfinite(step) ? step : 0.0;
}

LModulatedLine::LModulatedLine(const LModulation& modulation, int32_t sampleRate, int channels)
    : channels_(channels) {
  const int64_t time = std::clamp(modulation.timeMs, 0, 1000);
  const int64_t depth = std::clamp(modulation.depthPercent, 0, 100);
  base_ = static_cast<int32_t>(int64_t{sampleRate} * time / 1000);
  excursion_ = static_cast<int32_t>(base_ * depth / 100);
  gain_ = modulation.gainPercent * 0.01;
  frames_ = base_ + 2 + excursion_;
  line_.assign(static_cast<size_t>(frames_) * channels_, 0);
}

void LModulatedLine::Clear() { std::fill(line_.begin(), line_.end(), 0); }

LModulatedLine::LPlace LModulatedLine::Place(double delay) const {
  const auto whole = static_cast<int32_t>(delay);
  int32_t newer = write_ - whole;
  if (newer < 0) newer += frames_;
  int32_t older = newer - 1;
  if (older < 0) older += frames_;
  return {static_cast<size_t>(newer) * channels_, static_cast<size_t>(older) * channels_, delay - whole};
}

// kChannels is the channel count when it is known at compile time, 0 otherwise; kTwoTaps
// tells whether `second` holds a second list of delays.
template <int kChannels, bool kTwoTaps>
void LModulatedLine::MixFrames(int32_t* frames, int32_t frameCount, const double* delays, double gain,
                               const double* second, double secondGain, int channels) {
  if constexpr (kChannels != 0) channels = kChannels;
  const int32_t* line = line_.data();
  for (int32_t i = 0; i < frameCount; ++i) {
    const LPlace first = Place(delays[i]);
    const LPlace other = kTwoTaps ? Place(second[i]) : first;
    int32_t* frame = frames + static_cast<size_t>(i) * channels;
    int32_t* newest = line_.data() + static_cast<size_t>(write_) * channels;
    for (int c = 0; c < channels; ++c) newest[c] = frame[c];
    for (int c = 0; c < channels; ++c) {
      const double tap = (1.0 - first.fraction) * line[first.newer + c] + first.fraction * line[first.older + c];
      int64_t y = int64_t{frame[c]} + Trunc64(gain * tap);
      if constexpr (kTwoTaps) {
        const double late = (1.0 - other.fraction) * line[other.newer + c] + other.fraction * line[other.older + c];
        y += Trunc64(secondGain * late);
      }
      frame[c] = SaturateToInt32(y);
    }
    write_ = write_ + 1 == frames_ ? 0 : write_ + 1;
  }
}

void LModulatedLine::Mix(int32_t* frames, int32_t frameCount, const double* delays, double gain,
                         const double* second, double secondGain) {
  if (second != nullptr) {
    switch (channels_) {
      case 2: MixFrames<2, true>(frames, frameCount, delays, gain, second, secondGain, 2); break;
      default: MixFrames<0, true>(frames, frameCount, delays, gain, second, secondGain, channels_); break;
    }
    return;
  }
  switch (channels_) {
    case 1: MixFrames<1, false>(frames, frameCount, delays, gain, nullptr, 0.0, 1); break;
    case 2: MixFrames<2, false>(frames, frameCount, delays, gain, nullptr, 0.0, 2); break;
    default: MixFrames<0, false>(frames, frameCount, delays, gain, nullptr, 0.0, channels_); break;
  }
}

}  // namespace klangor
