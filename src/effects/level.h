#pragma once
// The level byte: the loudness of a block of samples in decibels, -127 to 127 (-127 is
// silence), against a mean square of 8388626.
//
// The mean square is the mean of (s >> 5)^2 over all samples, exact in integers: each square
// is split into 13-bit parts so that no sum can overflow, and the division keeps its
// remainder, so the result is the floor of the true mean. The level is
// 10 log10(ms / 8388626), plus 0.5 when ms is at least 8388626 and minus 0.5 below,
// truncated toward zero and clamped to -127..127; ms = 0 gives -127.

#include <cstddef>
#include <cstdint>

namespace klangor {

inline constexpr uint64_t kLevelReference = 8388626;

// The floor of the mean of (s >> 5)^2 over `sampleCount` samples (0 for none). Exact for up
// to 2^31 samples.
uint64_t MeanSquare(const int32_t* samples, size_t sampleCount);
int LevelOfMeanSquare(uint64_t meanSquare);
inline int LevelOf(const int32_t* samples, size_t sampleCount) {
  return LevelOfMeanSquare(MeanSquare(samples, sampleCount));
}

}  // namespace klangor
