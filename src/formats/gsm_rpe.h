#pragma once
// GSM 06.10 regular pulse excitation, per sub-frame of 40 samples: the long-term prediction
// error is weighted by a low-pass filter, one of four grids of 13 pulses (every third sample
// from 0, 1, 2 or 3) is chosen by energy, and its pulses are coded as a block maximum xmaxc
// (6 bits) and 13 pulses xMc (3 bits each). Decoding puts the dequantised pulses back on the
// grid.

#include <cstdint>

namespace klangor {

inline constexpr int kGsmPulses = 13;

struct LGsmRpeCodes {
  int16_t xmaxc = 0;
  int16_t mc = 0;
  int16_t xmc[kGsmPulses] = {};
};

// Codes the error `e` (40 samples) and gives the excitation `ep` (40 samples) that the
// decoder will rebuild from the codes.
void GsmRpeEncode(const int16_t* e, LGsmRpeCodes* codes, int16_t* ep);
// The excitation `ep` (40 samples) from the codes.
void GsmRpeDecode(const LGsmRpeCodes& codes, int16_t* ep);

}  // namespace klangor
