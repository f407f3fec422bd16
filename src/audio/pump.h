#pragma once
// The pump: the loop that moves a range of a stream into a sink, in pieces of 8192 frames,
// asking the progress object before each piece whether the user has cancelled. A sink that
// fails to write ends the run as failed. The processing pump that loading and saving use
// (with the output limiter) is in effects/processing_pump.h.

#include <cstdint>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"

namespace klangor {

inline constexpr int32_t kPumpFrames = 8192;
inline constexpr char kPleaseWait[] = "Bitte warten...";

// Moves frames [start, end) of `source` into `sink` (the source is seeked to `start` when it
// is above 0). An end below the start is done at once.
LResult PumpRange(LSoundStream& source, LSoundSink& sink, int32_t start, int32_t end,
                  LProgress& progress);

}  // namespace klangor
