#pragma once
// The pump: the one loop that moves audio from a stream into a sink, in pieces of 8192
// frames, asking the progress object before each piece whether the user has cancelled.
// A sink that fails to write ends the run as failed.

#include <cstdint>
#include <string>

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

// The processing pump used by loading and saving: shows `title`, fails when the source is
// not usable or the sink cannot be written, keeps a source that may exceed 16-bit full scale
// within it, and moves the source from its position to its length into the sink.
LResult PumpStream(const std::string& title, LSoundStream& source, LSoundSink& sink,
                   LProgress& progress);

}  // namespace klangor
