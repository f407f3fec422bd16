#pragma once
// Fast Fourier transforms of power-of-two sizes, in single precision.
//
// Complex data is kept split (real parts in one array, imaginary parts in another) so that
// the butterflies vectorise. The complex transform is a radix-4 Stockham algorithm (with one
// radix-2 step for odd powers of two) over twiddles computed once per size; it needs no
// bit-reversal pass. The real transform of N samples runs as a complex one of N/2 points.
//
// Conventions: Forward computes X[k] = sum x[n] e^(-2 pi i n k / N), Inverse the same with
// e^(+2 pi i n k / N); neither scales, so Inverse(Forward(x)) = N x. Callers scale where
// their method says (for example by 1/N after the forward transform).
//
// An LFft object keeps scratch space: use one object from one thread at a time. It picks the
// AVX2 or the portable copy of its loops when it is made; both give the same results.

#include <cstdint>
#include <vector>

namespace klangor {

class LFft {
 public:
  // `size` a power of two from 4 to 2^24.
  explicit LFft(int size);

  int Size() const { return size_; }

  // In place, complex, `size` points.
  void Forward(float* re, float* im);
  void Inverse(float* re, float* im);

  // `size` real samples to the size/2 + 1 bins 0..size/2 (the imaginary parts of bins 0
  // and size/2 are 0).
  void RealForward(const float* in, float* re, float* im);
  // Bins 0..size/2 (a conjugate-symmetric spectrum; the imaginary parts of bins 0 and
  // size/2 are ignored) to `size` real samples. `re` and `im` are left unchanged.
  void RealInverse(const float* re, const float* im, float* out);

 private:
  // The complex transform of `half_` points (the real transform's core) or of `size_` points.
  struct LPlan {
    int size = 0;
    std::vector<int> stageRadix;  // 4 or 2 per stage, in order
    std::vector<float> twiddles;  // per radix-4 stage: w1, w2, w3 for p < n/4 (see fft.cpp)
  };
  static LPlan MakePlan(int size);
  void Run(const LPlan& plan, float* re, float* im, float* scratchRe, float* scratchIm) const;

  int size_;
  int half_;
  bool wide_;  // the AVX2 loops (UseAvx2() when made)
  LPlan full_;
  LPlan halfPlan_;
  std::vector<float> realTwiddleRe_;  // e^(-2 pi i k / size) for k < size/2
  std::vector<float> realTwiddleIm_;
  std::vector<float> scratchRe_;
  std::vector<float> scratchIm_;
  std::vector<float> workRe_;
  std::vector<float> workIm_;
};

// The transform size of the spectral effects for x (derived from the rate: rate div 33 for
// the noise reduction, rate div 32 for the time stretch): n = x - x div 4 and the smallest
// power of two of at least 8 that is n or more.
int TransformSizeFor(int32_t x);

}  // namespace klangor
