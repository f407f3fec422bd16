// The FFT against the plain discrete Fourier transform at every size, in both directions
// and for real input, and the smallest transform size the spectral effects choose.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "effects/fft.h"
#include "platform/cpu_features.h"

namespace klangor {
namespace {

using Complex = std::complex<double>;

std::vector<Complex> NaiveDft(const std::vector<Complex>& x, int sign) {
  const size_t n = x.size();
  std::vector<Complex> out(n);
  for (size_t k = 0; k < n; ++k) {
    Complex sum = 0.0;
    for (size_t j = 0; j < n; ++j) {
      sum += x[j] * std::polar(1.0, sign * 2.0 * 3.14159265358979323846 * static_cast<double>((j * k) % n) /
                                        static_cast<double>(n));
    }
    out[k] = sum;
  }
  return out;
}

TEST(FftTest, ComplexAndRealTransformsMatchTheDefinitionAtEverySize) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  for (int n = 4; n <= 1024; n *= 2) {
    SCOPED_TRACE(n);
    LFft fft(n);
    ASSERT_EQ(fft.Size(), n);
    std::vector<float> re(n), im(n), real(n);
    std::vector<Complex> x(n), r(n);
    for (int i = 0; i < n; ++i) {
      re[i] = value(random);
      im[i] = value(random);
      real[i] = value(random);
      x[i] = {re[i], im[i]};
      r[i] = real[i];
    }
    const double tolerance = 2e-6 * n;  // single precision over log n stages

    const std::vector<Complex> forward = NaiveDft(x, -1);
    std::vector<float> fr = re, fi = im;
    fft.Forward(fr.data(), fi.data());
    for (int k = 0; k < n; ++k) EXPECT_LT(std::abs(forward[k] - Complex(fr[k], fi[k])), tolerance) << k;
    const std::vector<Complex> backward = NaiveDft(x, +1);
    std::vector<float> br = re, bi = im;
    fft.Inverse(br.data(), bi.data());
    for (int k = 0; k < n; ++k) EXPECT_LT(std::abs(backward[k] - Complex(br[k], bi[k])), tolerance) << k;

    // The real transform gives bins 0..n/2 of the full one; its inverse brings n x back.
    const std::vector<Complex> spectrum = NaiveDft(r, -1);
    std::vector<float> sr(n / 2 + 1), si(n / 2 + 1), back(n);
    fft.RealForward(real.data(), sr.data(), si.data());
    for (int k = 0; k <= n / 2; ++k) EXPECT_LT(std::abs(spectrum[k] - Complex(sr[k], si[k])), tolerance) << k;
    EXPECT_EQ(si[0], 0.0f);
    EXPECT_EQ(si[n / 2], 0.0f);
    fft.RealInverse(sr.data(), si.data(), back.data());
    for (int i = 0; i < n; ++i) EXPECT_NEAR(back[i] / n, real[i], 1e-5) << i;
  }
}

// The AVX2 copies of the loops round as the portable ones do: the same floats in all four
// directions, up to the largest size the time stretch uses.
TEST(FftTest, Avx2AndPortableLoopsGiveTheSameResults) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> value(-30000.0f, 30000.0f);
  for (int n = 4; n <= 16384; n *= 2) {
    std::vector<float> re(n), im(n), real(n);
    for (int i = 0; i < n; ++i) re[i] = value(random), im[i] = value(random), real[i] = value(random);
    const auto run = [&](bool avx2) {
      SetAvx2Allowed(avx2);
      LFft fft(n);
      std::vector<float> fr = re, fi = im, br = re, bi = im, sr(n / 2 + 1), si(n / 2 + 1), back(n);
      fft.Forward(fr.data(), fi.data());
      fft.Inverse(br.data(), bi.data());
      fft.RealForward(real.data(), sr.data(), si.data());
      fft.RealInverse(sr.data(), si.data(), back.data());
      for (const std::vector<float>* part : {&fi, &br, &bi, &sr, &si, &back}) fr.insert(fr.end(), part->begin(), part->end());
      return fr;
    };
    EXPECT_TRUE(run(false) == run(true)) << n;
  }
  SetAvx2Allowed(true);
}

TEST(FftTest, BadSizesFallBackToFourPoints) {
  for (int n : {0, -8, 3, 6, 1 << 25}) EXPECT_EQ(LFft(n).Size(), 4) << n;
}

// The sizes at real rates: the noise profile's and the phase vocoder's own tests.
TEST(FftTest, TransformSizesStartAtEightPoints) {
  EXPECT_EQ(TransformSizeFor(0), 8);
  EXPECT_EQ(TransformSizeFor(-5), 8);
}

}  // namespace
}  // namespace klangor
