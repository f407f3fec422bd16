#pragma once
// The 16- and 32-bit fixed-point operations in which GSM 06.10 states its algorithm. Their
// saturation and rounding are part of the standard: the codec stages use nothing else, so
// that their results are bit for bit those of the standard.

#include <algorithm>
#include <cstdint>

namespace klangor::gsm {

inline int16_t Saturate(int32_t x) { return static_cast<int16_t>(std::clamp<int32_t>(x, -32768, 32767)); }

inline int16_t Add(int16_t a, int16_t b) { return Saturate(int32_t{a} + b); }
inline int16_t Sub(int16_t a, int16_t b) { return Saturate(int32_t{a} - b); }

// a x b / 2^15, truncated; the one product that overflows gives the largest value.
inline int16_t Mult(int16_t a, int16_t b) {
  if (a == -32768 && b == -32768) return 32767;
  return static_cast<int16_t>((int32_t{a} * b) >> 15);
}

// a x b / 2^15, rounded.
inline int16_t MultR(int16_t a, int16_t b) {
  if (a == -32768 && b == -32768) return 32767;
  return static_cast<int16_t>((int32_t{a} * b + 16384) >> 15);
}

inline int16_t Abs(int16_t a) { return a == -32768 ? int16_t{32767} : static_cast<int16_t>(a < 0 ? -a : a); }

inline int32_t LSaturate(int64_t x) { return static_cast<int32_t>(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX)); }
inline int32_t LAdd(int32_t a, int32_t b) { return LSaturate(int64_t{a} + b); }
// 2 x a x b.
inline int32_t LMult(int16_t a, int16_t b) { return LSaturate(int64_t{a} * b * 2); }

// The left shifts that bring a non-zero 32-bit value to the form 01xx... or 10xx...;
// 0 for 0.
inline int Norm(int32_t x) {
  if (x == 0) return 0;
  uint32_t u = static_cast<uint32_t>(x < 0 ? ~x : x);
  int shifts = 0;
  while (u < 0x40000000u) {
    u <<= 1;
    ++shifts;
  }
  return shifts;
}

// Shifts that may be negative (a negative left shift is a right shift and the other way).
inline int16_t Shl(int16_t a, int n) {
  if (n < 0) return static_cast<int16_t>(a >> std::min(-n, 15));
  return Saturate(int32_t{a} << std::min(n, 16));
}
inline int16_t Shr(int16_t a, int n) {
  if (n < 0) return Shl(a, -n);
  return static_cast<int16_t>(a >> std::min(n, 15));
}

// num / denom as a 15-bit fraction, for 0 <= num <= denom (and denom > 0).
inline int16_t Div(int16_t num, int16_t denom) {
  int32_t rest = num;
  int32_t quotient = 0;
  for (int k = 0; k < 15; ++k) {
    quotient <<= 1;
    rest <<= 1;
    if (rest >= denom) {
      rest -= denom;
      ++quotient;
    }
  }
  return static_cast<int16_t>(quotient);
}

}  // namespace klangor::gsm
