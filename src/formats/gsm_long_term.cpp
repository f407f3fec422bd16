#include "formats/gsm_long_term.h"

#include <algorithm>

#include "formats/gsm_fixed_point.h"

namespace klangor {
namespace {

using namespace gsm;  // NOLINT: the standard's operations

// Decision thresholds between the gain codes.
constexpr int16_t kGainThreshold[3] = {6554, 16384, 26214};

}  // namespace

void GsmLtpParameters(const int16_t* d, const int16_t* history, int16_t* nc, int16_t* bc) {
  // history[kGsmMaxLag + k - lag] is dp[k - lag].
  const int16_t* dp = history + kGsmMaxLag;

  // Scale the residual so that the cross-correlation cannot overflow.
  int16_t dmax = 0;
  for (int k = 0; k < kGsmSubframeSamples; ++k) dmax = std::max(dmax, Abs(d[k]));
  int shift = 0;
  if (dmax != 0) shift = Norm(int32_t{dmax} << 16);
  const int scale = shift > 6 ? 0 : 6 - shift;
  int16_t wt[kGsmSubframeSamples];
  for (int k = 0; k < kGsmSubframeSamples; ++k) wt[k] = static_cast<int16_t>(d[k] >> scale);

  // The lag of the largest cross-correlation (the first one on ties).
  int32_t best = 0;
  int16_t lag = kGsmMinLag;
  for (int lambda = kGsmMinLag; lambda <= kGsmMaxLag; ++lambda) {
    int32_t sum = 0;
    for (int k = 0; k < kGsmSubframeSamples; ++k) sum += int32_t{wt[k]} * dp[k - lambda];
    sum = LSaturate(int64_t{sum} * 2);
    if (sum > best) {
      lag = static_cast<int16_t>(lambda);
      best = sum;
    }
  }
  *nc = lag;
  best >>= 6 - scale;

  // The power of the reconstructed residual at that lag, and the gain from their ratio.
  int32_t power = 0;
  for (int k = 0; k < kGsmSubframeSamples; ++k) {
    const auto x = static_cast<int16_t>(dp[k - lag] >> 3);
    power = LAdd(power, LMult(x, x));
  }
  if (best <= 0) {
    *bc = 0;
    return;
  }
  if (best >= power) {
    *bc = 3;
    return;
  }
  const int norm = Norm(power);
  const auto r = static_cast<int16_t>((best << norm) >> 16);
  const auto s = static_cast<int16_t>((power << norm) >> 16);
  int16_t code = 0;
  while (code < 3 && r > Mult(s, kGainThreshold[code])) ++code;
  *bc = code;
}

void GsmLtpFilter(int16_t nc, int16_t bc, const int16_t* d, const int16_t* history, int16_t* dpp,
                  int16_t* e) {
  const int16_t* dp = history + kGsmMaxLag;
  const int16_t gain = kGsmLtpGain[bc & 3];
  for (int k = 0; k < kGsmSubframeSamples; ++k) {
    dpp[k] = MultR(gain, dp[k - nc]);
    e[k] = Sub(d[k], dpp[k]);
  }
}

void LGsmLongTermSynthesis::Filter(int16_t ncr, int16_t bcr, const int16_t* erp, int16_t* drp) {
  const int16_t lag = ncr < kGsmMinLag || ncr > kGsmMaxLag ? previousLag_ : ncr;
  previousLag_ = lag;
  const int16_t gain = kGsmLtpGain[bcr & 3];
  const int16_t* past = history_ + kGsmMaxLag;  // past[-lag] is drp[k - lag] for k = 0
  for (int k = 0; k < kGsmSubframeSamples; ++k) {
    // Lags below 40 never reach this sub-frame's own samples: lag >= 40 = its length.
    drp[k] = Add(erp[k], MultR(gain, past[k - lag]));
  }
  std::copy(history_ + kGsmSubframeSamples, history_ + kGsmMaxLag, history_);
  std::copy(drp, drp + kGsmSubframeSamples, history_ + kGsmMaxLag - kGsmSubframeSamples);
}

}  // namespace klangor
