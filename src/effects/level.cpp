#include "effects/level.h"

#include <algorithm>
#include <cmath>

namespace klangor {

uint64_t MeanSquare(const int32_t* samples, size_t sampleCount) {
  if (sampleCount == 0) return 0;
  // |s >> 5| is at most 2^26 and splits into h x 2^13 + l with h <= 2^13 and l < 2^13; its
  // square is h^2 x 2^26 + 2hl x 2^13 + l^2. Each of the three products is at most 2^26, so
  // 32 of them add up in 32 bits: runs of 32 are summed in 32-bit lanes (which vectorises),
  // the runs in 64 bits.
  constexpr size_t kRun = 32;
  uint64_t highs = 0;
  uint64_t crosses = 0;
  uint64_t lows = 0;
  for (size_t start = 0; start < sampleCount; start += kRun) {
    const size_t end = std::min(sampleCount, start + kRun);
    uint32_t runHighs = 0;
    uint32_t runCrosses = 0;
    uint32_t runLows = 0;
    for (size_t i = start; i < end; ++i) {
      const int32_t shifted = samples[i] >> 5;
      const uint32_t magnitude = static_cast<uint32_t>(shifted < 0 ? -shifted : shifted);
      const uint32_t high = magnitude >> 13;
      const uint32_t low = magnitude & 8191;
      runHighs += high * high;
      runCrosses += high * low;
      runLows += low * low;
    }
    highs += runHighs;
    crosses += runCrosses;
    lows += runLows;
  }
  // sum = highs x 2^26 + crosses x 2^14 + lows. Divide from the top down and carry each
  // remainder into the next part, so that no intermediate value exceeds 64 bits.
  const uint64_t count = sampleCount;
  const uint64_t top = highs / count;
  const uint64_t middlePart = (highs % count) * 4096 + crosses;
  const uint64_t middle = middlePart / count;
  const uint64_t lowPart = (middlePart % count) * 16384 + lows;
  return (top << 26) + (middle << 14) + lowPart / count;
}

int LevelOfMeanSquare(uint64_t meanSquare) {
  if (meanSquare == 0) return -127;
  double level = 10.0 * std::log10(static_cast<double>(meanSquare) / static_cast<double>(kLevelReference));
  level += meanSquare >= kLevelReference ? 0.5 : -0.5;
  return static_cast<int>(std::clamp(std::trunc(level), -127.0, 127.0));
}

}  // namespace klangor
