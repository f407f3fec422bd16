#pragma once
// Small conversions that the effects share: decimal texts of the dialogs and stored values,
// saturating conversions to 32-bit integers, and division rounding towards minus infinity.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <string>

#include "audio/sample_format.h"

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

inline constexpr double kPi = std::numbers::pi;

// a / b and a mod b rounded towards minus infinity (b > 0).
inline int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
inline int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

}  // namespace klangor
