#pragma once
// The pump: the one loop that moves audio from a stream into a sink, in pieces of at most
// 8192 frames, asking the progress object before each piece whether the user has cancelled
// (1). A sink that fails to write ends the run as failed (2). The processing pump that
// loading and saving use (format adapter and limiter in front) is dsp/processing_pump.h; the
// scans of the effects are sinks pumped by it (dsp/peak_sink.h, the DC offset's sums).

#include <cstdint>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"

namespace klangor {

inline constexpr int32_t kPumpFrames = 8192;
inline constexpr char kPleaseWait[] = "Bitte warten...";

// `frameCount` frames from the source's position into the sink. The progress shows
// (progressBase + frames copied) of `progressTotal` (at least 1).
LResult CopyFrames(LSoundStream& source, LSoundSink& sink, int64_t frameCount, LProgress& progress,
                   int64_t progressBase, int64_t progressTotal);

// Seeks the source to `start` and moves frames [start, end) into `sink`, under the status
// line "Bitte warten..." with the progress running from 0 to end - start. An end below the
// start is done at once.
LResult PumpRange(LSoundStream& source, LSoundSink& sink, int32_t start, int32_t end, LProgress& progress);

}  // namespace klangor
