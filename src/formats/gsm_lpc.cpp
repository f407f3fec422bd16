#include "formats/gsm_lpc.h"

#include "formats/gsm_fixed_point.h"

namespace klangor {
namespace {

using namespace gsm;  // NOLINT: the standard's operations

// Autocorrelation of lags 0..8, with the samples scaled down first so that no sum overflows.
void Autocorrelation(int16_t (&s)[kGsmFrameSamples], int32_t (&acf)[9]) {
  int16_t smax = 0;
  for (int16_t x : s) smax = std::max(smax, Abs(x));
  int scale = 0;
  if (smax != 0) scale = 4 - Norm(int32_t{smax} << 16);
  if (scale > 0) {
    const auto factor = static_cast<int16_t>(16384 >> (scale - 1));
    for (int16_t& x : s) x = MultR(x, factor);
  }
  for (int k = 0; k <= 8; ++k) {
    int32_t sum = 0;
    for (int i = k; i < kGsmFrameSamples; ++i) sum = LAdd(sum, LMult(s[i], s[i - k]));
    acf[k] = sum;
  }
  // Scaled back with saturation: a sample that the rounding above carried to 2^(15 - scale)
  // would otherwise come back as -32768.
  if (scale > 0) {
    for (int16_t& x : s) x = Shl(x, scale);
  }
}

// Schur recursion: the reflection coefficients r[1..8] (r[0] unused).
void ReflectionCoefficients(const int32_t (&acfLong)[9], int16_t (&r)[9]) {
  if (acfLong[0] == 0) {
    for (int16_t& x : r) x = 0;
    return;
  }
  const int shift = Norm(acfLong[0]);
  int16_t acf[9];
  for (int k = 0; k <= 8; ++k) acf[k] = static_cast<int16_t>((acfLong[k] << shift) >> 16);
  int16_t p[9];
  int16_t k[9];
  for (int i = 0; i <= 8; ++i) p[i] = acf[i];
  for (int i = 1; i <= 7; ++i) k[9 - i] = acf[i];
  for (int n = 1; n <= 8; ++n) {
    if (p[0] < Abs(p[1])) {
      for (int i = n; i <= 8; ++i) r[i] = 0;
      return;
    }
    r[n] = Div(Abs(p[1]), p[0]);
    if (p[1] > 0) r[n] = Sub(0, r[n]);
    if (n == 8) return;
    p[0] = Add(p[0], MultR(p[1], r[n]));
    for (int m = 1; m <= 8 - n; ++m) {
      const int16_t next = p[m + 1];
      p[m] = Add(next, MultR(k[9 - m], r[n]));
      k[9 - m] = Add(k[9 - m], MultR(next, r[n]));
    }
  }
}

// Piecewise-linear approximation of the log-area ratio.
int16_t LogAreaRatio(int16_t r) {
  int16_t x = Abs(r);
  if (x < 22118) {
    x = static_cast<int16_t>(x >> 1);
  } else if (x < 31130) {
    x = Sub(x, 11059);
  } else {
    x = Shl(Sub(x, 26112), 2);
  }
  return r < 0 ? Sub(0, x) : x;
}

}  // namespace

void GsmLpcAnalysis(int16_t (&s)[kGsmFrameSamples], LGsmLarCodes* larc) {
  int32_t acf[9];
  Autocorrelation(s, acf);
  int16_t r[9] = {};
  ReflectionCoefficients(acf, r);
  for (int i = 0; i < kGsmLpcOrder; ++i) {
    int16_t x = Mult(kGsmLarA[i], LogAreaRatio(r[i + 1]));
    x = Add(x, kGsmLarB[i]);
    x = Add(x, 256);  // rounding
    x = static_cast<int16_t>(x >> 9);
    x = std::clamp(x, kGsmLarMin[i], kGsmLarMax[i]);
    (*larc)[static_cast<size_t>(i)] = static_cast<int16_t>(x - kGsmLarMin[i]);
  }
}

}  // namespace klangor
