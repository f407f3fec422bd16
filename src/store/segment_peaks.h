#pragma once
// What a block's peak file tells about the level of a segment without reading its audio.
//
// A peak entry e below 255 bounds its group: the samples lie within -(e x 2048 + 2047) and
// e x 2048 + 2047. An entry of 255 bounds nothing.

#include <cstdint>

#include "store/segment.h"

namespace klangor {

// True when every sample the segment reads (its block's frames under the segment's gain)
// certainly lies within smallest..largest. False when the peak file cannot show it: a group
// at entry 255, a missing or short file.
bool SegmentStaysWithin(const LSegment& segment, int channels, int32_t largest, int32_t smallest);

}  // namespace klangor
