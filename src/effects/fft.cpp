#include "effects/fft.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/cpu_features.h"

#include <immintrin.h>

namespace klangor {
namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

bool IsPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// The butterflies of one group p for every column q < s (contiguous in q): inputs a, b, c, d
// at offsets 0, 1, 2, 3 quarters, outputs 0..3 at offsets 0, s, 2s, 3s.
[[gnu::always_inline]] inline void Radix4Columns(size_t s, const float* __restrict w, const float* __restrict ar,
                                                 const float* __restrict ai, const float* __restrict br,
                                                 const float* __restrict bi, const float* __restrict cr,
                                                 const float* __restrict ci, const float* __restrict dr,
                                                 const float* __restrict di, float* __restrict y0r,
                                                 float* __restrict y0i, float* __restrict y1r, float* __restrict y1i,
                                                 float* __restrict y2r, float* __restrict y2i, float* __restrict y3r,
                                                 float* __restrict y3i) {
  const float t1r = w[0], t1i = w[1], t2r = w[2], t2i = w[3], t3r = w[4], t3i = w[5];
  for (size_t q = 0; q < s; ++q) {
    const float apcR = ar[q] + cr[q], apcI = ai[q] + ci[q];
    const float amcR = ar[q] - cr[q], amcI = ai[q] - ci[q];
    const float bpdR = br[q] + dr[q], bpdI = bi[q] + di[q];
    const float jbmdR = di[q] - bi[q], jbmdI = br[q] - dr[q];
    y0r[q] = apcR + bpdR;
    y0i[q] = apcI + bpdI;
    const float r1 = amcR - jbmdR, i1 = amcI - jbmdI;
    y1r[q] = t1r * r1 - t1i * i1;
    y1i[q] = t1r * i1 + t1i * r1;
    const float r2 = apcR - bpdR, i2 = apcI - bpdI;
    y2r[q] = t2r * r2 - t2i * i2;
    y2i[q] = t2r * i2 + t2i * r2;
    const float r3 = amcR + jbmdR, i3 = amcI + jbmdI;
    y3r[q] = t3r * r3 - t3i * i3;
    y3i[q] = t3r * i3 + t3i * r3;
  }
}

// One radix-4 step over `count` butterfly groups of stride `stride`:
//   y[q + s(4p + k)] = w^(kp) x (the k-th output of the 4-point DFT of x[q + s(p + m n/4)]).
// Twiddles of the step: six arrays of length/4 (w1 re, w1 im, w2 re, w2 im, w3 re, w3 im).
[[gnu::always_inline]] inline void Radix4Stage(int length, int stride, const float* __restrict twiddles,
                                               const float* __restrict xr, const float* __restrict xi,
                                               float* __restrict yr, float* __restrict yi) {
  const int quarter = length / 4;
  const size_t s = static_cast<size_t>(stride);
  const size_t offset1 = s * quarter;
  const size_t offset2 = 2 * offset1;
  const size_t offset3 = 3 * offset1;
  const float* __restrict w1r = twiddles;
  const float* __restrict w1i = twiddles + quarter;
  const float* __restrict w2r = twiddles + 2 * static_cast<size_t>(quarter);
  const float* __restrict w2i = twiddles + 3 * static_cast<size_t>(quarter);
  const float* __restrict w3r = twiddles + 4 * static_cast<size_t>(quarter);
  const float* __restrict w3i = twiddles + 5 * static_cast<size_t>(quarter);
  if (stride == 1) {
    for (int p = 0; p < quarter; ++p) {
      const float ar = xr[p], ai = xi[p];
      const float br = xr[p + offset1], bi = xi[p + offset1];
      const float cr = xr[p + offset2], ci = xi[p + offset2];
      const float dr = xr[p + offset3], di = xi[p + offset3];
      const float apcR = ar + cr, apcI = ai + ci;
      const float amcR = ar - cr, amcI = ai - ci;
      const float bpdR = br + dr, bpdI = bi + di;
      const float jbmdR = di - bi, jbmdI = br - dr;  // i (b - d)
      const size_t out = 4 * static_cast<size_t>(p);
      yr[out] = apcR + bpdR;
      yi[out] = apcI + bpdI;
      const float r1 = amcR - jbmdR, i1 = amcI - jbmdI;
      yr[out + 1] = w1r[p] * r1 - w1i[p] * i1;
      yi[out + 1] = w1r[p] * i1 + w1i[p] * r1;
      const float r2 = apcR - bpdR, i2 = apcI - bpdI;
      yr[out + 2] = w2r[p] * r2 - w2i[p] * i2;
      yi[out + 2] = w2r[p] * i2 + w2i[p] * r2;
      const float r3 = amcR + jbmdR, i3 = amcI + jbmdI;
      yr[out + 3] = w3r[p] * r3 - w3i[p] * i3;
      yi[out + 3] = w3r[p] * i3 + w3i[p] * r3;
    }
    return;
  }
  for (int p = 0; p < quarter; ++p) {
    const float twiddle[6] = {w1r[p], w1i[p], w2r[p], w2i[p], w3r[p], w3i[p]};
    const float* ar = xr + s * p;
    const float* ai = xi + s * p;
    float* outR = yr + s * (4 * static_cast<size_t>(p));
    float* outI = yi + s * (4 * static_cast<size_t>(p));
    Radix4Columns(s, twiddle, ar, ai, ar + offset1, ai + offset1, ar + offset2, ai + offset2, ar + offset3,
                  ai + offset3, outR, outI, outR + s, outI + s, outR + 2 * s, outI + 2 * s, outR + 3 * s,
                  outI + 3 * s);
  }
}

// The last step of an odd power of two: length 2, no twiddles.
[[gnu::always_inline]] inline void Radix2Stage(int stride, const float* __restrict xr, const float* __restrict xi,
                                               float* __restrict yr, float* __restrict yi) {
  const size_t s = static_cast<size_t>(stride);
  for (size_t q = 0; q < s; ++q) {
    const float ar = xr[q], ai = xi[q], br = xr[q + s], bi = xi[q + s];
    yr[q] = ar + br;
    yi[q] = ai + bi;
    yr[q + s] = ar - br;
    yi[q + s] = ai - bi;
  }
}

}  // namespace

LFft::LPlan LFft::MakePlan(int size) {
  LPlan plan;
  plan.size = size;
  for (int length = size; length > 1;) {
    if (length >= 4) {
      plan.stageRadix.push_back(4);
      const int quarter = length / 4;
      for (int k = 1; k <= 3; ++k) {
        for (int p = 0; p < quarter; ++p)
          plan.twiddles.push_back(static_cast<float>(std::cos(-kTwoPi * k * p / length)));
        for (int p = 0; p < quarter; ++p)
          plan.twiddles.push_back(static_cast<float>(std::sin(-kTwoPi * k * p / length)));
      }
      length /= 4;
    } else {
      plan.stageRadix.push_back(2);
      length /= 2;
    }
  }
  return plan;
}

namespace {

// The stages of one complex transform, from `re`/`im` through the scratch arrays and back.
// w[0] in the low half of a vector, w[1] in the high one.
[[gnu::target("avx2")]] [[gnu::always_inline]] inline __m256 PairTwiddle(const float* w) {
  const __m128 both = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(w)));
  return _mm256_permutevar8x32_ps(_mm256_castps128_ps256(both), _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1));
}

// The radix-4 step of stride 4 with two groups p, p + 1 in one vector (their four columns
// each), in the operations and order of Radix4Columns so that it rounds alike.
[[gnu::target("avx2")]] void Radix4Stride4Avx2(int quarter, const float* __restrict twiddles,
                                               const float* __restrict xr, const float* __restrict xi,
                                               float* __restrict yr, float* __restrict yi) {
  const size_t offset1 = 4 * static_cast<size_t>(quarter);
  const size_t row = static_cast<size_t>(quarter);  // w1 re, w1 im, w2 re, ... one after another
  for (int p = 0; p + 1 < quarter; p += 2) {
    const size_t in = 4 * static_cast<size_t>(p);
    const __m256 ar = _mm256_loadu_ps(xr + in), ai = _mm256_loadu_ps(xi + in);
    const __m256 br = _mm256_loadu_ps(xr + in + offset1), bi = _mm256_loadu_ps(xi + in + offset1);
    const __m256 cr = _mm256_loadu_ps(xr + in + 2 * offset1), ci = _mm256_loadu_ps(xi + in + 2 * offset1);
    const __m256 dr = _mm256_loadu_ps(xr + in + 3 * offset1), di = _mm256_loadu_ps(xi + in + 3 * offset1);
    const __m256 apcR = _mm256_add_ps(ar, cr), apcI = _mm256_add_ps(ai, ci);
    const __m256 amcR = _mm256_sub_ps(ar, cr), amcI = _mm256_sub_ps(ai, ci);
    const __m256 bpdR = _mm256_add_ps(br, dr), bpdI = _mm256_add_ps(bi, di);
    const __m256 jbmdR = _mm256_sub_ps(di, bi), jbmdI = _mm256_sub_ps(br, dr);
    const __m256 y0r = _mm256_add_ps(apcR, bpdR), y0i = _mm256_add_ps(apcI, bpdI);
    const __m256 r1 = _mm256_sub_ps(amcR, jbmdR), i1 = _mm256_sub_ps(amcI, jbmdI);
    const __m256 t1r = PairTwiddle(twiddles + p), t1i = PairTwiddle(twiddles + 1 * row + p);
    const __m256 y1r = _mm256_sub_ps(_mm256_mul_ps(t1r, r1), _mm256_mul_ps(t1i, i1));
    const __m256 y1i = _mm256_add_ps(_mm256_mul_ps(t1r, i1), _mm256_mul_ps(t1i, r1));
    const __m256 r2 = _mm256_sub_ps(apcR, bpdR), i2 = _mm256_sub_ps(apcI, bpdI);
    const __m256 t2r = PairTwiddle(twiddles + 2 * row + p), t2i = PairTwiddle(twiddles + 3 * row + p);
    const __m256 y2r = _mm256_sub_ps(_mm256_mul_ps(t2r, r2), _mm256_mul_ps(t2i, i2));
    const __m256 y2i = _mm256_add_ps(_mm256_mul_ps(t2r, i2), _mm256_mul_ps(t2i, r2));
    const __m256 r3 = _mm256_add_ps(amcR, jbmdR), i3 = _mm256_add_ps(amcI, jbmdI);
    const __m256 t3r = PairTwiddle(twiddles + 4 * row + p), t3i = PairTwiddle(twiddles + 5 * row + p);
    const __m256 y3r = _mm256_sub_ps(_mm256_mul_ps(t3r, r3), _mm256_mul_ps(t3i, i3));
    const __m256 y3i = _mm256_add_ps(_mm256_mul_ps(t3r, i3), _mm256_mul_ps(t3i, r3));
    // Group p's outputs 0..3 fill 16 floats from 16 p, group p + 1's the 16 after them.
    float* outR = yr + 16 * static_cast<size_t>(p);
    float* outI = yi + 16 * static_cast<size_t>(p);
    _mm256_storeu_ps(outR, _mm256_permute2f128_ps(y0r, y1r, 0x20));
    _mm256_storeu_ps(outR + 8, _mm256_permute2f128_ps(y2r, y3r, 0x20));
    _mm256_storeu_ps(outR + 16, _mm256_permute2f128_ps(y0r, y1r, 0x31));
    _mm256_storeu_ps(outR + 24, _mm256_permute2f128_ps(y2r, y3r, 0x31));
    _mm256_storeu_ps(outI, _mm256_permute2f128_ps(y0i, y1i, 0x20));
    _mm256_storeu_ps(outI + 8, _mm256_permute2f128_ps(y2i, y3i, 0x20));
    _mm256_storeu_ps(outI + 16, _mm256_permute2f128_ps(y0i, y1i, 0x31));
    _mm256_storeu_ps(outI + 24, _mm256_permute2f128_ps(y2i, y3i, 0x31));
  }
  if (quarter % 2 != 0) {  // an odd count (quarter 1) leaves one group for the plain loop
    const int p = quarter - 1;
    const float w[6] = {twiddles[p],               twiddles[quarter + p],     twiddles[2 * quarter + p],
                        twiddles[3 * quarter + p], twiddles[4 * quarter + p], twiddles[5 * quarter + p]};
    const float* ar = xr + 4 * static_cast<size_t>(p);
    const float* ai = xi + 4 * static_cast<size_t>(p);
    float* outR = yr + 16 * static_cast<size_t>(p);
    float* outI = yi + 16 * static_cast<size_t>(p);
    Radix4Columns(4, w, ar, ai, ar + offset1, ai + offset1, ar + 2 * offset1, ai + 2 * offset1, ar + 3 * offset1,
                  ai + 3 * offset1, outR, outI, outR + 4, outI + 4, outR + 8, outI + 8, outR + 12, outI + 12);
  }
}

template <bool kWide>
[[gnu::always_inline]] inline void RunStages(int size, const std::vector<int>& stageRadix, const float* twiddles,
                                             float* re, float* im, float* scratchRe, float* scratchIm) {
  float* xr = re;
  float* xi = im;
  float* yr = scratchRe;
  float* yi = scratchIm;
  int length = size;
  int stride = 1;
  for (int radix : stageRadix) {
    if (radix == 4) {
      if constexpr (kWide) {
        if (stride == 4) {
          Radix4Stride4Avx2(length / 4, twiddles, xr, xi, yr, yi);
        } else {
          Radix4Stage(length, stride, twiddles, xr, xi, yr, yi);
        }
      } else {
        Radix4Stage(length, stride, twiddles, xr, xi, yr, yi);
      }
      twiddles += 6 * static_cast<size_t>(length / 4);
      length /= 4;
      stride *= 4;
    } else {
      Radix2Stage(stride, xr, xi, yr, yi);
      length /= 2;
      stride *= 2;
    }
    std::swap(xr, yr);
    std::swap(xi, yi);
  }
  if (xr != re) {
    std::copy(xr, xr + size, re);
    std::copy(xi, xi + size, im);
  }
}

}  // namespace

void LFft::Run(const LPlan& plan, float* re, float* im, float* scratchRe, float* scratchIm) const {
  RunCode<RunStages<true>, RunStages<false>>(wide_, plan.size, plan.stageRadix, plan.twiddles.data(), re, im,
                                              scratchRe, scratchIm);
}

LFft::LFft(int size)
    : size_(IsPowerOfTwo(size) && size >= 4 && size <= (1 << 24) ? size : 4), half_(size_ / 2), wide_(UseAvx2()) {
  full_ = MakePlan(size_);
  halfPlan_ = MakePlan(half_);
  realTwiddleRe_.resize(static_cast<size_t>(half_) + 1);
  realTwiddleIm_.resize(static_cast<size_t>(half_) + 1);
  for (int k = 0; k <= half_; ++k) {
    const double angle = -kTwoPi * k / size_;
    realTwiddleRe_[k] = static_cast<float>(std::cos(angle));
    realTwiddleIm_[k] = static_cast<float>(std::sin(angle));
  }
  scratchRe_.resize(static_cast<size_t>(size_));
  scratchIm_.resize(static_cast<size_t>(size_));
  workRe_.resize(static_cast<size_t>(half_));
  workIm_.resize(static_cast<size_t>(half_));
}

void LFft::Forward(float* re, float* im) { Run(full_, re, im, scratchRe_.data(), scratchIm_.data()); }

// The inverse is the forward transform with real and imaginary parts exchanged.
void LFft::Inverse(float* re, float* im) { Run(full_, im, re, scratchIm_.data(), scratchRe_.data()); }

namespace {

// The even and the odd samples, 8 of each a step (`half` a multiple of 8).
[[gnu::target("avx2")]] void DeinterleaveAvx2(int half, const float* __restrict in, float* __restrict even,
                                              float* __restrict odd) {
  for (int n = 0; n < half; n += 8) {
    const __m256 a = _mm256_loadu_ps(in + 2 * static_cast<size_t>(n));
    const __m256 b = _mm256_loadu_ps(in + 2 * static_cast<size_t>(n) + 8);
    // Within each half: a0 a2 b0 b2 | a4 a6 b4 b6; the 64-bit pairs then go in order.
    const __m256 e = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m256 o = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    _mm256_storeu_ps(even + n, _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(e), _MM_SHUFFLE(3, 1, 2, 0))));
    _mm256_storeu_ps(odd + n, _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(o), _MM_SHUFFLE(3, 1, 2, 0))));
  }
}

[[gnu::target("avx2")]] void InterleaveAvx2(int half, const float* __restrict even, const float* __restrict odd,
                                            float* __restrict out) {
  for (int n = 0; n < half; n += 8) {
    const __m256 e = _mm256_loadu_ps(even + n);
    const __m256 o = _mm256_loadu_ps(odd + n);
    const __m256 low = _mm256_unpacklo_ps(e, o);   // e0 o0 e1 o1 | e4 o4 e5 o5
    const __m256 high = _mm256_unpackhi_ps(e, o);  // e2 o2 e3 o3 | e6 o6 e7 o7
    _mm256_storeu_ps(out + 2 * static_cast<size_t>(n), _mm256_permute2f128_ps(low, high, 0x20));
    _mm256_storeu_ps(out + 2 * static_cast<size_t>(n) + 8, _mm256_permute2f128_ps(low, high, 0x31));
  }
}

[[gnu::always_inline]] inline void Deinterleave(int half, const float* __restrict in, float* __restrict even,
                                                float* __restrict odd) {
  for (int n = 0; n < half; ++n) {
    even[n] = in[2 * static_cast<size_t>(n)];
    odd[n] = in[2 * static_cast<size_t>(n) + 1];
  }
}

[[gnu::always_inline]] inline void Interleave(int half, const float* __restrict even, const float* __restrict odd,
                                              float* __restrict out) {
  for (int n = 0; n < half; ++n) {
    out[2 * static_cast<size_t>(n)] = even[n];
    out[2 * static_cast<size_t>(n) + 1] = odd[n];
  }
}

// X[k] = E[k] + W^k O[k], E = (Z[k] + conj Z[M-k]) / 2, O = -i (Z[k] - conj Z[M-k]) / 2, for
// 0 < k < M.
[[gnu::always_inline]] inline void SplitSpectrum(int half, const float* __restrict zr, const float* __restrict zi,
                                                 const float* __restrict wr, const float* __restrict wi,
                                                 float* __restrict re, float* __restrict im) {
  for (int k = 1; k < half; ++k) {
    const float ar = zr[k], ai = zi[k];
    const float cr = zr[half - k], ci = -zi[half - k];
    const float er = 0.5f * (ar + cr), ei = 0.5f * (ai + ci);
    const float oR = 0.5f * (ai - ci), oI = -0.5f * (ar - cr);
    re[k] = er + wr[k] * oR - wi[k] * oI;
    im[k] = ei + wr[k] * oI + wi[k] * oR;
  }
}

// Z[k] = E + i O with E = X[k] + conj X[M-k], O = (X[k] - conj X[M-k]) W^-k, for 0 < k < M:
// twice the transform of z, so that the unscaled inverse gives size x.
[[gnu::always_inline]] inline void JoinSpectrum(int half, const float* __restrict re, const float* __restrict im,
                                                const float* __restrict wr, const float* __restrict wi,
                                                float* __restrict zr, float* __restrict zi) {
  for (int k = 1; k < half; ++k) {
    const float ar = re[k], ai = im[k];
    const float cr = re[half - k], ci = -im[half - k];
    const float er = ar + cr, ei = ai + ci;
    const float dr = ar - cr, di = ai - ci;
    const float oR = dr * wr[k] + di * wi[k], oI = di * wr[k] - dr * wi[k];
    zr[k] = er - oI;
    zi[k] = ei + oR;
  }
}

// The real transforms around the complex one of half the size; `t` holds its buffers.
struct LRealWork {
  int half;
  const std::vector<int>& stageRadix;
  const float* twiddles;
  const float* wr;  // e^(-2 pi i k / size)
  const float* wi;
  float* zr;
  float* zi;
  float* scratchRe;
  float* scratchIm;
};

template <bool kWide>
[[gnu::always_inline]] inline void RealForwardBody(const LRealWork& t, const float* in, float* re, float* im) {
  const int half = t.half;
  if (kWide && half % 8 == 0) {
    DeinterleaveAvx2(half, in, t.zr, t.zi);
  } else {
    Deinterleave(half, in, t.zr, t.zi);
  }
  RunStages<kWide>(half, t.stageRadix, t.twiddles, t.zr, t.zi, t.scratchRe, t.scratchIm);
  re[0] = t.zr[0] + t.zi[0];
  im[0] = 0.0f;
  re[half] = t.zr[0] - t.zi[0];
  im[half] = 0.0f;
  SplitSpectrum(half, t.zr, t.zi, t.wr, t.wi, re, im);
}

template <bool kWide>
[[gnu::always_inline]] inline void RealInverseBody(const LRealWork& t, const float* re, const float* im, float* out) {
  const int half = t.half;
  t.zr[0] = re[0] + re[half];
  t.zi[0] = re[0] - re[half];
  JoinSpectrum(half, re, im, t.wr, t.wi, t.zr, t.zi);
  RunStages<kWide>(half, t.stageRadix, t.twiddles, t.zi, t.zr, t.scratchIm, t.scratchRe);
  if (kWide && half % 8 == 0) {
    InterleaveAvx2(half, t.zr, t.zi, out);
  } else {
    Interleave(half, t.zr, t.zi, out);
  }
}

}  // namespace

void LFft::RealForward(const float* in, float* re, float* im) {
  const LRealWork work{half_,          halfPlan_.stageRadix, halfPlan_.twiddles.data(), realTwiddleRe_.data(),
                       realTwiddleIm_.data(), workRe_.data(), workIm_.data(), scratchRe_.data(), scratchIm_.data()};
  RunCode<RealForwardBody<true>, RealForwardBody<false>>(wide_, work, in, re, im);
}

void LFft::RealInverse(const float* re, const float* im, float* out) {
  const LRealWork work{half_,          halfPlan_.stageRadix, halfPlan_.twiddles.data(), realTwiddleRe_.data(),
                       realTwiddleIm_.data(), workRe_.data(), workIm_.data(), scratchRe_.data(), scratchIm_.data()};
  RunCode<RealInverseBody<true>, RealInverseBody<false>>(wide_, work, re, im, out);
}

int TransformSizeFor(int32_t x) {
  const int32_t n = x - x / 4;
  int size = 8;
  while (size < n && size < (1 << 24)) size *= 2;
  return size;
}

}  // namespace klangor
