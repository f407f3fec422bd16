#pragma once
// Frames and milliseconds, in integer arithmetic so that a round trip is exact wherever the
// rate allows it. Both accept any sign; a rate of 0 or less gives 0.

#include <cstdint>

namespace klangor {

// (frames mod rate) x 1000 / rate + (frames / rate) x 1000
int64_t FramesToMs(int64_t frames, int32_t sampleRate);
// (ms / 1000) x rate + (ms mod 1000) x rate / 1000
int64_t MsToFrames(int64_t ms, int32_t sampleRate);

}  // namespace klangor
