#pragma once
// Automatic trim ("Automatisch trimmen", batch command 0): quiet audio at both ends of a
// sound is removed, judged from the peak summaries of its blocks rather than the samples.
//
// The overview table holds, for every 256 frames of the sound (B = length div 256 + 1
// groups) and every channel, the two peak bytes of the blocks' peak files, each multiplied by
// its segment's gain in 1/256 (gain >> 16) and shifted right by 8; silence and missing peak
// files give 0. With M the largest byte and t = M x gain(threshold dB) div 2^24: the start is
// one group before the first group from group 1 on with a byte above t (0 when there is
// none), the end is the end of the last group before the last one with a byte above t (the
// length when there is none). Group 0 is never looked at for the start and the last group
// never for the end, so a sound loud from its first frame keeps its start.

#include <cstdint>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kAutoTrimTitle[] = "AutoTrim";
inline constexpr char kAutoTrimUndoName[] = "Automatisches Trimmen";

// The overview table: (group x channels + channel) x 2 + byte.
std::vector<int32_t> TrimOverview(const LSegmentList& sound);

struct LTrimRange {
  int32_t start = 0;
  int32_t end = 0;
};

// The part of the sound that automatic trim keeps.
LTrimRange AutoTrimRange(const LSegmentList& sound, int32_t thresholdDb);

// Trims the document: everything after the kept part, then everything before it, is deleted.
// Its length changes; the selection is cleared.
LResult RunAutoTrim(LSoundDocument& document, int32_t thresholdDb, LProgress& progress);

}  // namespace klangor
