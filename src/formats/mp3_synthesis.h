#pragma once
// The polyphase synthesis filter bank (ISO/IEC 11172-3, Figure 3-A.2): every time slot of 32
// subband samples becomes 32 output samples. The matrixing V = N S runs as a fast 32-point
// DCT, and the window carries the output scale (full scale kMp3OutputFullScale).

#include <cstdint>

#include "formats/mp3_imdct.h"
#include "formats/mp3_tables.h"

namespace klangor {

// The matrixing of the standard, V[i] = sum over k of cos((16 + i)(2k + 1) pi / 64) S[k] for
// i = 0..63.
void Mp3SynthesisMatrixing(const float subbands[kMp3Subbands], float v[64]);

class LMp3Synthesis {
 public:
  // Clears the filter's memory (after a seek).
  void Reset();
  // One granule: 18 time slots in, 576 samples out, rounded to integers and limited to
  // +-2^30.
  void Run(const LMp3SubbandSamples& in, int32_t pcm[kMp3GranuleLines]);

 private:
  // The last 16 matrixing results (the V vector of the standard), newest at newest_.
  alignas(16) float history_[16][64] = {};
  int newest_ = 0;
};

}  // namespace klangor
