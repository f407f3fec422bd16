#pragma once
// GSM 06.10 linear prediction analysis of one frame: the autocorrelation of the 160
// pre-processed samples, the Schur recursion to 8 reflection coefficients, their conversion to
// log-area ratios and the quantisation to the transmitted codes LARc[1..8].

#include <array>
#include <cstdint>

namespace klangor {

inline constexpr int kGsmFrameSamples = 160;
inline constexpr int kGsmLpcOrder = 8;

using LGsmLarCodes = std::array<int16_t, kGsmLpcOrder>;  // LARc[1..8] as transmitted (>= 0)

// Analyses `s`. As in the standard, the samples come back scaled down and up again for the
// autocorrelation (their lowest bits may change), and the short-term filter works on them.
void GsmLpcAnalysis(int16_t (&s)[kGsmFrameSamples], LGsmLarCodes* larc);

// The smallest value of each code before it was made non-negative for transmission.
inline constexpr int16_t kGsmLarMin[kGsmLpcOrder] = {-32, -32, -16, -16, -8, -8, -4, -4};
inline constexpr int16_t kGsmLarMax[kGsmLpcOrder] = {31, 31, 15, 15, 7, 7, 3, 3};
// The quantiser's line LARc = A x LAR + B (A and B scaled as in the standard).
inline constexpr int16_t kGsmLarA[kGsmLpcOrder] = {20480, 20480, 20480, 20480, 13964, 15360, 8534, 9036};
inline constexpr int16_t kGsmLarB[kGsmLpcOrder] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};

}  // namespace klangor
