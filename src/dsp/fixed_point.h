#pragma once
// Fixed-point sample arithmetic shared by the effects.
//
// Q24 gains: 16777216 (2^24) is unity. The product of a sample and a Q24 gain is built from
// 12-bit halves so that it needs no 64-bit arithmetic:
//   ((g & 4095) * (s >> 12) >> 12) + ((s & 4095) * (g >> 12) >> 12) + (s >> 12) * (g >> 12)
// It drops the product of the two low halves and truncates the two cross terms apart, so it
// is at most 2 below floor(s * g / 2^24) and never above it. With g = 2^24 it returns s
// exactly. For samples and gains far beyond full scale the last term wraps modulo 2^32, as
// 32-bit arithmetic does; it never overflows into undefined behaviour.
//
// Q9 gains: 512 is unity; the product is (s * g) >> 9, computed wide and saturated.
//
// The loops below are plain so that the compiler vectorises them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "audio/sample_extremes.h"
#include "audio/sample_format.h"

namespace klangor {

inline constexpr int32_t kUnityQ24 = 1 << 24;
inline constexpr int32_t kUnityQ9 = 512;

inline int32_t MulQ24(int32_t sample, int32_t gain) {
  const int32_t sampleHigh = sample >> 12;
  const int32_t gainHigh = gain >> 12;
  // Each cross product is at most 4095 x 2^19 in magnitude: it fits in 32 bits.
  const int32_t cross = ((gain & 4095) * sampleHigh >> 12) + ((sample & 4095) * gainHigh >> 12);
  const uint32_t high = static_cast<uint32_t>(sampleHigh) * static_cast<uint32_t>(gainHigh);
  return static_cast<int32_t>(high + static_cast<uint32_t>(cross));
}

inline int32_t MulQ9(int32_t sample, int32_t gain) {
  const int64_t product = (int64_t{sample} * gain) >> 9;
  return SaturateToInt32(product);
}

// The peak of a block: max(M, -m) of its extremes. The most negative sample counts as the
// largest magnitude.
inline int32_t PeakOf(const LExtremes& extremes) {
  if (extremes.smallest == std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::max();
  return std::max(extremes.largest, -extremes.smallest);
}

inline int32_t PeakOf(const int32_t* samples, size_t sampleCount) {
  return PeakOf(ExtremesOf(samples, sampleCount));
}

// The gain of frame i of a ramp that starts at `gain` and grows by `step` after every frame.
// Computed modulo 2^32 so that a runaway ramp cannot overflow.
inline int32_t RampGain(int32_t gain, int32_t step, int32_t frame) {
  return static_cast<int32_t>(static_cast<uint32_t>(gain) +
                              static_cast<uint32_t>(frame) * static_cast<uint32_t>(step));
}

// Multiplies `frameCount` interleaved frames of `in` by one gain ramp shared by all channels
// and writes them to `out` (which may be `in`). Returns the gain after the last frame (the
// gain for the frame that follows).
inline int32_t ApplyGainRamp(const int32_t* in, int32_t* out, int32_t frameCount, int channels,
                             int32_t gain, int32_t step) {
  if (frameCount <= 0) return gain;
  if (channels == 1) {
    for (int32_t i = 0; i < frameCount; ++i) out[i] = MulQ24(in[i], RampGain(gain, step, i));
  } else if (channels == 2) {
    for (int32_t i = 0; i < frameCount; ++i) {
      const int32_t g = RampGain(gain, step, i);
      out[2 * i] = MulQ24(in[2 * i], g);
      out[2 * i + 1] = MulQ24(in[2 * i + 1], g);
    }
  } else {
    for (int32_t i = 0; i < frameCount; ++i) {
      const int32_t g = RampGain(gain, step, i);
      const size_t frame = static_cast<size_t>(i) * channels;
      for (int c = 0; c < channels; ++c) out[frame + c] = MulQ24(in[frame + c], g);
    }
  }
  return RampGain(gain, step, frameCount);
}

inline int32_t ApplyGainRamp(int32_t* frames, int32_t frameCount, int channels, int32_t gain,
                             int32_t step) {
  return ApplyGainRamp(frames, frames, frameCount, channels, gain, step);
}

// As ApplyGainRamp, with a ramp of its own for every channel: channel c starts at gains[c]
// and grows by steps[c] per frame. gains[] is left at the gains for the following frame.
inline void ApplyChannelGainRamps(int32_t* frames, int32_t frameCount, int channels, int32_t* gains,
                                  const int32_t* steps) {
  if (frameCount <= 0) return;
  if (channels == 1) {
    gains[0] = ApplyGainRamp(frames, frameCount, 1, gains[0], steps[0]);
    return;
  }
  if (channels == 2) {
    const int32_t left = gains[0];
    const int32_t right = gains[1];
    const int32_t leftStep = steps[0];
    const int32_t rightStep = steps[1];
    for (int32_t i = 0; i < frameCount; ++i) {
      frames[2 * i] = MulQ24(frames[2 * i], RampGain(left, leftStep, i));
      frames[2 * i + 1] = MulQ24(frames[2 * i + 1], RampGain(right, rightStep, i));
    }
  } else {
    for (int32_t i = 0; i < frameCount; ++i) {
      int32_t* frame = frames + static_cast<size_t>(i) * channels;
      for (int c = 0; c < channels; ++c) frame[c] = MulQ24(frame[c], RampGain(gains[c], steps[c], i));
    }
  }
  for (int c = 0; c < channels; ++c) gains[c] = RampGain(gains[c], steps[c], frameCount);
}

}  // namespace klangor
