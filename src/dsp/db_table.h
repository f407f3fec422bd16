#pragma once
// Gains as whole decibels ("dB bytes", -127 to 127, where -127 is silence) and back.
//
// DbByteOfGain: 20 log10(g / 2^24), plus 0.5 at or above unity and minus 0.5 below,
// truncated toward zero and clamped to -127..127; a gain of 0 (or below) gives -127.
// GainOfDb and PowerGainOfDb read two tables built once per process (thread-safe on first
// use): 10^(d/20) x 2^24 and 10^(d/10) x 2^24 to the nearest integer, capped at the largest
// 32-bit value, and 0 for -127 and -128. Bytes outside -128..127 are clamped first.

#include <cstdint>

namespace klangor {

inline constexpr int kSilentDb = -127;

int DbByteOfGain(int32_t gainQ24);
// 10^(d/20) in Q24: the gain of an amplitude in decibels.
int32_t GainOfDb(int db);
// 10^(d/10) in Q24: the gain of a power in decibels.
int32_t PowerGainOfDb(int db);

// Saturates to the range of a dB or level byte, -127..127.
inline int SaturateDb(int value) { return value < -127 ? -127 : (value > 127 ? 127 : value); }

}  // namespace klangor
