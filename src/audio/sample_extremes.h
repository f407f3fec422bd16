#pragma once
// The extremes of runs of samples: the largest and the smallest sample, both starting from 0.
// The scans run on AVX2 where the processor has it (UseAvx2); both paths give the same result.

#include <cstddef>
#include <cstdint>

namespace klangor {

struct LExtremes {
  int32_t largest = 0;
  int32_t smallest = 0;
};

LExtremes ExtremesOf(const int32_t* samples, size_t sampleCount);

// Widens perChannel[c] (c below `channels`) by the samples of `frameCount` interleaved frames.
void WidenFrameExtremes(const int32_t* frames, size_t frameCount, int channels, LExtremes* perChannel);

}  // namespace klangor
