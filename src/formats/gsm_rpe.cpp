#include "formats/gsm_rpe.h"

#include <algorithm>

#include "formats/gsm_fixed_point.h"
#include "formats/gsm_long_term.h"

namespace klangor {
namespace {

using namespace gsm;  // NOLINT: the standard's operations

// The weighting filter's impulse response (8192 = 1.0).
constexpr int16_t kWeights[11] = {-134, -374, 0, 2054, 5741, 8192, 5741, 2054, 0, -374, -134};
// Normalised inverse mantissas for quantising, and mantissas for dequantising, by mantissa.
constexpr int16_t kInverseMantissa[8] = {29128, 26215, 23832, 21846, 20165, 18725, 17476, 16384};
constexpr int16_t kMantissa[8] = {18431, 20479, 22527, 24575, 26623, 28671, 30719, 32767};

// Exponent and mantissa (0..7) of a coded block maximum.
void ExponentAndMantissa(int16_t xmaxc, int* exponent, int* mantissa) {
  int exp = 0;
  if (xmaxc > 15) exp = (xmaxc >> 3) - 1;
  int mant = xmaxc - (exp << 3);
  if (mant == 0) {
    exp = -4;
    mant = 7;
  } else {
    while (mant <= 7) {
      mant = mant << 1 | 1;
      --exp;
    }
    mant -= 8;
  }
  *exponent = exp;
  *mantissa = mant;
}

// The pulses' values from their codes (APCM inverse quantisation).
void Dequantise(const int16_t* xmc, int exponent, int mantissa, int16_t* xmp) {
  const int16_t factor = kMantissa[mantissa];
  const int shift = 6 - exponent;
  const int16_t rounding = Shl(1, shift - 1);
  for (int i = 0; i < kGsmPulses; ++i) {
    auto x = static_cast<int16_t>(((xmc[i] & 7) * 2 - 7) << 12);  // restore the sign: -7..7
    x = MultR(factor, x);
    x = Add(x, rounding);
    xmp[i] = Shr(x, shift);
  }
}

void PlaceOnGrid(int mc, const int16_t* xmp, int16_t* ep) {
  std::fill_n(ep, kGsmSubframeSamples, int16_t{0});
  for (int i = 0; i < kGsmPulses; ++i) ep[mc + 3 * i] = xmp[i];
}

}  // namespace

void GsmRpeEncode(const int16_t* e, LGsmRpeCodes* codes, int16_t* ep) {
  // Weighting filter over the error with five zeros on either side.
  int16_t padded[kGsmSubframeSamples + 10] = {};
  std::copy(e, e + kGsmSubframeSamples, padded + 5);
  int16_t x[kGsmSubframeSamples];
  for (int k = 0; k < kGsmSubframeSamples; ++k) {
    int32_t sum = 0;
    for (int i = 0; i < 11; ++i) sum += int32_t{padded[k + i]} * kWeights[i];
    x[k] = Saturate((sum + 4096) >> 13);  // the sum / 8192, rounded
  }

  // The grid of the largest energy (the first one on ties).
  int32_t bestEnergy = 0;
  int mc = 0;
  for (int m = 0; m < 4; ++m) {
    int32_t energy = 0;
    for (int i = 0; i < kGsmPulses; ++i) {
      const auto v = static_cast<int16_t>(x[m + 3 * i] >> 2);
      energy = LAdd(energy, LMult(v, v));
    }
    if (energy > bestEnergy) {
      mc = m;
      bestEnergy = energy;
    }
  }
  int16_t xm[kGsmPulses];
  for (int i = 0; i < kGsmPulses; ++i) xm[i] = x[mc + 3 * i];

  // Block maximum: a 3-bit exponent and 3-bit mantissa.
  int16_t xmax = 0;
  for (int16_t v : xm) xmax = std::max(xmax, Abs(v));
  int exp = 0;
  int rest = xmax >> 9;
  bool stop = false;
  for (int i = 0; i <= 5; ++i) {
    stop = stop || rest <= 0;
    rest >>= 1;
    if (!stop) ++exp;
  }
  codes->xmaxc = Add(static_cast<int16_t>(xmax >> (exp + 5)), static_cast<int16_t>(exp << 3));
  codes->mc = static_cast<int16_t>(mc);

  // The pulses, normalised by the block maximum and quantised to 3 bits.
  int mant = 0;
  ExponentAndMantissa(codes->xmaxc, &exp, &mant);
  const int shift = 6 - exp;
  const int16_t factor = kInverseMantissa[mant];
  for (int i = 0; i < kGsmPulses; ++i) {
    int16_t v = Shl(xm[i], shift);
    v = Mult(v, factor);
    codes->xmc[i] = static_cast<int16_t>((v >> 12) + 4);
  }

  int16_t xmp[kGsmPulses];
  Dequantise(codes->xmc, exp, mant, xmp);
  PlaceOnGrid(mc, xmp, ep);
}

void GsmRpeDecode(const LGsmRpeCodes& codes, int16_t* ep) {
  int exp = 0;
  int mant = 0;
  ExponentAndMantissa(static_cast<int16_t>(codes.xmaxc & 63), &exp, &mant);
  int16_t xmp[kGsmPulses];
  Dequantise(codes.xmc, exp, mant, xmp);
  PlaceOnGrid(codes.mc & 3, xmp, ep);
}

}  // namespace klangor
