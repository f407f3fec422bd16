#pragma once
// Small conversions that the effects share: decimal texts of the dialogs and stored values,
// and saturating conversions from double precision to 32-bit integers.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace klangor {

// A decimal text as the dialogs and the stored values hold it, converted with the C
// library's string-to-double conversion (no number gives 0).
inline double DecimalOfText(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// trunc(value) within the 32-bit range; not a number gives 0.
inline int32_t TruncToInt32(double value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

inline int32_t SaturateToInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace klangor
