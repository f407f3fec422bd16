#pragma once
// GSM 06.10 long-term prediction, per sub-frame of 40 samples: in the encoder the lag Nc
// (40..120) and gain code bc (0..3) that best predict the residual from the reconstructed
// residual of the last 120 samples, and the prediction error; in the decoder the synthesis
// that adds the prediction back.

#include <cstdint>

namespace klangor {

inline constexpr int kGsmSubframeSamples = 40;
inline constexpr int kGsmMinLag = 40;
inline constexpr int kGsmMaxLag = 120;

// The gain of each code bc, in Q15.
inline constexpr int16_t kGsmLtpGain[4] = {3277, 11469, 21299, 32767};

// Lag and gain code for the residual `d` (40 samples). `history` holds the reconstructed
// residual of the 120 samples before `d`, oldest first.
void GsmLtpParameters(const int16_t* d, const int16_t* history, int16_t* nc, int16_t* bc);

// The prediction `dpp` (40 samples) from the history, and the error e = d - dpp.
void GsmLtpFilter(int16_t nc, int16_t bc, const int16_t* d, const int16_t* history, int16_t* dpp,
                  int16_t* e);

class LGsmLongTermSynthesis {
 public:
  // The reconstructed residual `drp` (40 samples) from the decoded excitation `erp`. A lag
  // outside 40..120 (possible only in damaged frames) is replaced by the previous lag.
  void Filter(int16_t ncr, int16_t bcr, const int16_t* erp, int16_t* drp);

 private:
  int16_t history_[kGsmMaxLag] = {};  // oldest first
  int16_t previousLag_ = kGsmMinLag;
};

}  // namespace klangor
