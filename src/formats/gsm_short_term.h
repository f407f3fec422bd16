#pragma once
// GSM 06.10 short-term filtering: the coded log-area ratios are decoded, interpolated with
// the previous frame's over the first 40 samples, turned into reflection coefficients, and
// drive the lattice filters: analysis (speech to residual) in the encoder, synthesis
// (residual to speech) in the decoder.

#include <cstdint>

#include "formats/gsm_lpc.h"

namespace klangor {

class LGsmShortTermAnalysis {
 public:
  // Filters one frame in place: the pre-processed samples `s` become the residual d.
  void Filter(const LGsmLarCodes& larc, int16_t (&s)[kGsmFrameSamples]);

 private:
  int16_t u_[kGsmLpcOrder] = {};
  int16_t previousLarpp_[kGsmLpcOrder] = {};
};

class LGsmShortTermSynthesis {
 public:
  // One frame of the reconstructed residual `wt` into speech `sr`.
  void Filter(const LGsmLarCodes& larc, const int16_t (&wt)[kGsmFrameSamples], int16_t (&sr)[kGsmFrameSamples]);

 private:
  int16_t v_[kGsmLpcOrder + 1] = {};
  int16_t previousLarpp_[kGsmLpcOrder] = {};
};

}  // namespace klangor
