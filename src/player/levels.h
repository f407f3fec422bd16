#pragma once
// The level of a played buffer, per channel. With v the internal sample (16 x the 16-bit
// value) and n frames: m = the mean of (v >> 5)^2 in unsigned integer arithmetic (the
// squares summed as their parts above and below 2^13, the sum S counted in units of 8192:
// m = ((S mod n) << 13) / n + ((S / n) << 13)); the level is -127 for m = 0, else
// 10 log10(m / 8388626) rounded half away from zero, truncated, within -127..127.

#include <cstdint>

#include "player/player_listener.h"

namespace klangor {

int8_t ChannelLevel(const int32_t* samples, int32_t frames, int channels, int channel);
// Fills `record` for all channels of the buffer.
void MeasureLevels(const int32_t* samples, int32_t frames, int channels, LLevelRecord* record);

}  // namespace klangor
