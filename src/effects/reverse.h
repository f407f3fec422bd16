#pragma once
// Reverse ("Umkehren"): the selection read backwards in pieces of at most 8192 frames from
// its end, each piece written in reverse frame order (the channels inside a frame keep their
// order). There is no cancel question; the second progress line reads "Please wait...".

#include <cstdint>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "frame/command_table.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kReverseName[] = "Umkehren";
inline constexpr char kReverseTitle[] = "Reversing Sound";
inline constexpr char kPleaseWaitEnglish[] = "Please wait...";

// Frames [start, end) of the source as a stream in reverse order: its frame p is the source's
// frame end - 1 - p (zeros outside 0..end - start). Each read seeks the source once.
LRef<LSoundStream> MakeReversedRange(LRef<LSoundStream> source, int32_t start, int32_t end);

// Frames [start, end) of the source into the sink in reverse order, by the pump; reverse has
// no cancel check. Fails (2) when the sink cannot be written.
LResult ReverseFrames(LRef<LSoundStream> source, LSoundSink& sink, int32_t start, int32_t end, LProgress& progress);

// The runner over the document's selection; an empty selection is done at once.
LResult RunReverse(LSoundDocument& document, LProgress& progress);

// The menu command "Umkehren" (no dialog).
void ReverseCommand(LCommandContext& context);

}  // namespace klangor
