#pragma once
// Four floats processed together (GCC and Clang vector extension), for the loops of the
// decoder that run the same arithmetic over four subbands or four time slots at once.

#include <cstring>

namespace klangor {

using LFloat4 = float __attribute__((vector_size(16)));

inline LFloat4 LoadFloat4(const float* p) {
  LFloat4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void StoreFloat4(float* p, LFloat4 v) { std::memcpy(p, &v, sizeof v); }

// Rows a, b, c, d become the columns.
inline void Transpose4(LFloat4& a, LFloat4& b, LFloat4& c, LFloat4& d) {
  const LFloat4 ab01 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
  const LFloat4 ab23 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
  const LFloat4 cd01 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
  const LFloat4 cd23 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
  a = __builtin_shufflevector(ab01, cd01, 0, 1, 4, 5);
  b = __builtin_shufflevector(ab01, cd01, 2, 3, 6, 7);
  c = __builtin_shufflevector(ab23, cd23, 0, 1, 4, 5);
  d = __builtin_shufflevector(ab23, cd23, 2, 3, 6, 7);
}

}  // namespace klangor
