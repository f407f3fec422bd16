#include "effects/gain_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace klangor {
namespace {

int32_t TruncatedGain(double gain) {
  constexpr double kLargest = std::numeric_limits<int32_t>::max();
  if (!(gain > 0.0)) return 0;
  if (!(gain < kLargest)) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(gain);
}

}  // namespace

LGainTable BuildGainTable(int lowerLevel, int upperLevel, double factor) {
  if (!std::isfinite(factor) || factor <= 0.0) factor = 1.0;
  const int lower = std::clamp(lowerLevel, -128, 127) + 128;
  const int upper = std::clamp(upperLevel, -128, 127) + 128;
  double gain = 16777216.0;
  if (lowerLevel < 0) gain /= std::pow(factor, -std::clamp(lowerLevel, -128, 0));
  LGainTable table{};
  int index = 0;
  for (; index < lower; ++index) table[static_cast<size_t>(index)] = TruncatedGain(gain);
  for (; index < upper; ++index) {
    table[static_cast<size_t>(index)] = TruncatedGain(gain);
    gain *= factor;
  }
  for (; index < 256; ++index) {
    table[static_cast<size_t>(index)] = TruncatedGain(gain);
    gain *= 0.8913;
  }
  return table;
}

}  // namespace klangor
