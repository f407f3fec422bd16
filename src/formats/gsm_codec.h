#pragma once
// The GSM 06.10 full-rate encoder and decoder as plain state objects: one frame of 160
// samples at 8000 Hz at a time, no file access.
//
// Around the standard's analysis and synthesis sit Klangor's own input and output stages,
// working in internal sample units (16 x a 16-bit value):
// - encoding first removes the offset, y = (d + 512) >> 10 with d = (x - x_prev) x 1024 + a
//   and a = d - y, then pre-emphasises, s = (y - ((y_prev x 880 + 512) >> 10) + 16) >> 5,
//   which gives the standard analysis its 16-bit input;
// - decoding de-emphasises the synthesis output s: out = s x 32 + ((out_prev x 880 + 512) >> 10),
//   so a full-scale synthesis sample is 1048544.

#include <cstdint>

#include "formats/gsm_frame.h"
#include "formats/gsm_long_term.h"
#include "formats/gsm_short_term.h"

namespace klangor {

inline constexpr int32_t kGsmFullScale = 1048544;

class LGsmEncoder {
 public:
  // Codes 160 internal samples.
  void Encode(const int32_t* samples, LGsmParameters* parameters);
  // The standard's analysis of 160 samples that have been through the input stage (or the
  // standard's own pre-processing); `s` is used as working space.
  void Analyse(int16_t (&s)[kGsmFrameSamples], LGsmParameters* parameters);

 private:
  LGsmShortTermAnalysis shortTerm_;
  // The reconstructed residual of the last 120 samples, oldest first.
  int16_t history_[kGsmMaxLag] = {};
  // The input stage.
  int64_t previousInput_ = 0;
  int64_t offsetRemainder_ = 0;
  int64_t previousOffsetFree_ = 0;
};

class LGsmDecoder {
 public:
  // Decodes one frame into 160 internal samples.
  void Decode(const LGsmParameters& parameters, int32_t* samples);
  // The standard's synthesis: the short-term synthesis output, before any post-processing.
  void Synthesise(const LGsmParameters& parameters, int16_t (&sr)[kGsmFrameSamples]);

 private:
  LGsmLongTermSynthesis longTerm_;
  LGsmShortTermSynthesis shortTerm_;
  int64_t previousOutput_ = 0;
};

}  // namespace klangor
