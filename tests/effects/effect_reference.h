#pragma once
// Plain reference arithmetic for the effect tests, written straight from the effects'
// definitions and kept apart from the optimised code.

#include <cmath>
#include <cstdint>
#include <vector>

#include "audio/sound_stream.h"
#include "support/test_streams.h"

namespace klangor::test {

// The Q24 product of a sample and a gain from 12-bit halves, the sum wrapped to 32 bits:
// ((g mod 4096) (s >> 12) >> 12) + ((s mod 4096) (g >> 12) >> 12) + (s >> 12)(g >> 12).
inline int32_t ReferenceQ24(int32_t s, int32_t g) {
  const int64_t gLow = g & 4095;
  const int64_t sLow = s & 4095;
  const int64_t sum = ((gLow * (int64_t{s} >> 12)) >> 12) + ((sLow * (int64_t{g} >> 12)) >> 12) +
                      (int64_t{s} >> 12) * (int64_t{g} >> 12);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(sum)));
}

inline int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v));
}

// Deterministic test audio: tones plus hashed noise of about `amplitude`.
inline int32_t TestSample(int64_t frame, int channel, int32_t amplitude) {
  const uint32_t hash = static_cast<uint32_t>(frame * 2654435761LL + channel * 40503 + 17);
  const double tone = std::sin(0.031 * static_cast<double>(frame) * (channel + 1)) * 0.6 +
                      std::sin(0.0023 * static_cast<double>(frame)) * 0.3;
  return static_cast<int32_t>(tone * amplitude) + static_cast<int32_t>(hash % 2001) - 1000;
}

inline LRef<LSoundStream> TestAudio(int32_t rate, int channels, int32_t length, int32_t amplitude = 400000) {
  return MakeRef<LFunctionStream>(
      rate, channels, length, [amplitude](int64_t frame, int channel) { return TestSample(frame, channel, amplitude); },
      2097152);
}

inline std::vector<int32_t> TestSamples(int channels, int32_t length, int32_t amplitude = 400000) {
  std::vector<int32_t> samples;
  for (int32_t f = 0; f < length; ++f) {
    for (int c = 0; c < channels; ++c) samples.push_back(TestSample(f, c, amplitude));
  }
  return samples;
}

}  // namespace klangor::test
