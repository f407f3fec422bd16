#pragma once
// One-pole filters on integers: coefficient c = trunc((1 - exp(-2 pi f / rate)) x 256) and
// one integer state s per channel, starting at 0.
//   High-pass, per sample x: y = x - (s >> 8); then s = s + c x y.
//   Low-pass, per sample x:  s = s + (x - (s >> 8)) x c; y = s >> 8.
// The arithmetic is 32-bit and wraps modulo 2^32 for inputs far beyond full scale (it never
// overflows into undefined behaviour). A stream built on them doubles a full scale of
// 1048576 or less (OnePoleFullScale).

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace klangor {

// Bad rates or cutoffs give a coefficient within 0..256.
inline int32_t OnePoleCoefficient(double cutoffHz, int32_t sampleRate) {
  if (sampleRate <= 0 || !(cutoffHz >= 0.0)) return 0;
  const double c = std::trunc((1.0 - std::exp(-6.283185307 * cutoffHz / sampleRate)) * 256.0);
  return static_cast<int32_t>(std::clamp(c, 0.0, 256.0));
}

inline int32_t OnePoleFullScale(int32_t fullScale) {
  return fullScale >= 0 && fullScale <= 1048576 ? fullScale * 2 : fullScale;
}

namespace one_pole_detail {
inline int32_t Add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t Sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t Mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
}  // namespace one_pole_detail

class LOnePoleHighPass {
 public:
  explicit LOnePoleHighPass(int32_t coefficient = 0) : coefficient_(coefficient) {}
  int32_t Process(int32_t x) {
    using namespace one_pole_detail;
    const int32_t y = Sub(x, state_ >> 8);
    state_ = Add(state_, Mul(coefficient_, y));
    return y;
  }
  void Reset() { state_ = 0; }

 private:
  int32_t coefficient_;
  int32_t state_ = 0;
};

class LOnePoleLowPass {
 public:
  explicit LOnePoleLowPass(int32_t coefficient = 0) : coefficient_(coefficient) {}
  int32_t Process(int32_t x) {
    using namespace one_pole_detail;
    state_ = Add(state_, Mul(Sub(x, state_ >> 8), coefficient_));
    return state_ >> 8;
  }
  void Reset() { state_ = 0; }

 private:
  int32_t coefficient_;
  int32_t state_ = 0;
};

}  // namespace klangor
