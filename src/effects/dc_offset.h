#pragma once
// DC offset correction: two passes over the selection, both by the pump. The first pumps the
// selection into a sink that sums every channel's samples (S(c)); the offset of channel c is S(c) / N truncated toward zero, N the selection's length
// (at least 1). The second pass subtracts each channel's offset from its samples (wrapping in
// 32 bits) and writes them. The sums are kept in 64-bit integers, which is exact where a sum
// in double precision is, and converted once.

#include <cstdint>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "frame/command_table.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kDcOffsetName[] = "DC Offset Correction";

// Both passes from the source's position 0 to its length into the sink; fails (2) when the
// source is not usable, the sink cannot be written or their rates or channel counts differ.
LResult CorrectDcOffset(LRef<LSoundStream> source, LSoundSink& sink, LProgress& progress);

// The runner over the document's selection; an empty selection is done at once.
LResult RunDcOffset(LSoundDocument& document, LProgress& progress);

// The menu command "DCOffset Correction" (no dialog).
void DcOffsetCommand(LCommandContext& context);

}  // namespace klangor
