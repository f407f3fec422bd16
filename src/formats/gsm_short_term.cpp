#include "formats/gsm_short_term.h"

#include "formats/gsm_fixed_point.h"

namespace klangor {
namespace {

using namespace gsm;  // NOLINT: the standard's operations

// 1/A of the quantiser line, for decoding.
constexpr int16_t kInverseA[kGsmLpcOrder] = {13107, 13107, 13107, 13107, 19223, 17476, 31454, 29708};

void DecodeLars(const LGsmLarCodes& larc, int16_t (&larpp)[kGsmLpcOrder]) {
  for (int i = 0; i < kGsmLpcOrder; ++i) {
    auto x = static_cast<int16_t>((larc[static_cast<size_t>(i)] + kGsmLarMin[i]) << 10);
    x = Sub(x, static_cast<int16_t>(kGsmLarB[i] * 2));
    x = MultR(kInverseA[i], x);
    larpp[i] = Add(x, x);
  }
}

// The four stretches of a frame over which the coefficients are interpolated.
struct LStretch {
  int first;
  int end;
};
constexpr LStretch kStretches[4] = {{0, 13}, {13, 27}, {27, 40}, {40, kGsmFrameSamples}};

// The LARs of stretch j from the previous frame's and this frame's, then the reflection
// coefficients from them.
void StretchCoefficients(int j, const int16_t (&previous)[kGsmLpcOrder], const int16_t (&current)[kGsmLpcOrder],
                         int16_t (&rp)[kGsmLpcOrder]) {
  for (int i = 0; i < kGsmLpcOrder; ++i) {
    const int16_t a = previous[i];
    const int16_t b = current[i];
    int16_t larp;
    switch (j) {
      case 0: larp = Add(Add(static_cast<int16_t>(a >> 2), static_cast<int16_t>(b >> 2)), static_cast<int16_t>(a >> 1)); break;
      case 1: larp = Add(static_cast<int16_t>(a >> 1), static_cast<int16_t>(b >> 1)); break;
      case 2: larp = Add(Add(static_cast<int16_t>(a >> 2), static_cast<int16_t>(b >> 2)), static_cast<int16_t>(b >> 1)); break;
      default: larp = b; break;
    }
    int16_t x = Abs(larp);
    if (x < 11059) {
      x = static_cast<int16_t>(x << 1);
    } else if (x < 20070) {
      x = Add(x, 11059);
    } else {
      x = Add(static_cast<int16_t>(x >> 2), 26112);
    }
    rp[i] = larp < 0 ? Sub(0, x) : x;
  }
}

}  // namespace

void LGsmShortTermAnalysis::Filter(const LGsmLarCodes& larc, int16_t (&s)[kGsmFrameSamples]) {
  int16_t larpp[kGsmLpcOrder];
  DecodeLars(larc, larpp);
  for (int j = 0; j < 4; ++j) {
    int16_t rp[kGsmLpcOrder];
    StretchCoefficients(j, previousLarpp_, larpp, rp);
    for (int k = kStretches[j].first; k < kStretches[j].end; ++k) {
      int16_t di = s[k];
      int16_t sav = di;
      for (int i = 0; i < kGsmLpcOrder; ++i) {
        const int16_t ui = u_[i];
        const int16_t next = Add(ui, MultR(rp[i], di));
        di = Add(di, MultR(rp[i], ui));
        u_[i] = sav;
        sav = next;
      }
      s[k] = di;
    }
  }
  for (int i = 0; i < kGsmLpcOrder; ++i) previousLarpp_[i] = larpp[i];
}

void LGsmShortTermSynthesis::Filter(const LGsmLarCodes& larc, const int16_t (&wt)[kGsmFrameSamples],
                                    int16_t (&sr)[kGsmFrameSamples]) {
  int16_t larpp[kGsmLpcOrder];
  DecodeLars(larc, larpp);
  for (int j = 0; j < 4; ++j) {
    int16_t rrp[kGsmLpcOrder];
    StretchCoefficients(j, previousLarpp_, larpp, rrp);
    for (int k = kStretches[j].first; k < kStretches[j].end; ++k) {
      int16_t sri = wt[k];
      for (int i = kGsmLpcOrder - 1; i >= 0; --i) {
        sri = Sub(sri, MultR(rrp[i], v_[i]));
        v_[i + 1] = Add(v_[i], MultR(rrp[i], sri));
      }
      sr[k] = sri;
      v_[0] = sri;
    }
  }
  for (int i = 0; i < kGsmLpcOrder; ++i) previousLarpp_[i] = larpp[i];
}

}  // namespace klangor
