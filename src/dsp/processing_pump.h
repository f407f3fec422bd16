#pragma once
// The processing pump: moves a whole stream into a sink under a progress object. Loading,
// saving and the effects that write through an adapted source use it.
//
// It shows the title and "Bitte warten...", fails (2) when the source is not usable or the
// sink cannot be written, puts the format adapter (to the sink's rate and channel count)
// and then the limiter at 16-bit full scale behind the source (each only where it has
// something to do), announces the length to the sink (ExpectFrames: a sink that cannot
// hold it fails the pump before anything is written), and copies the frames from the adapted stream's position to its length
// with the pump's loop (audio/pump.h). A length that grows while it is read (an estimate) is
// followed to its end through the same chain.

#include <cstdint>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"

namespace klangor {

LResult ProcessingPump(const std::string& title, LRef<LSoundStream> source, LSoundSink& sink,
                       LProgress& progress);

// The chain the pump puts behind `source` for a sink of `sampleRate` and `channels`: the
// format adapter, then the limiter. Nothing when the source is not usable or the adapter
// cannot reach the format.
LRef<LSoundStream> MakeProcessedStream(LRef<LSoundStream> source, int32_t sampleRate, int channels);

// What the pump writes of `source` (standing at frame 0, its length fixed) into a block of
// `sampleRate` and `channels`, seen as a reader of that block sees it (dsp/stored_view.h).
// Nothing where the pump would fail.
LRef<LSoundStream> MakePumpedStream(LRef<LSoundStream> source, int32_t sampleRate, int channels);

// The copy loop: `frameCount` frames from the source's position into the sink, in pieces of
// at most 8192 frames with the cancel question before each. The progress shows
// (progressBase + frames copied) of `progressTotal`.
LResult CopyFrames(LSoundStream& source, LSoundSink& sink, int64_t frameCount, LProgress& progress,
                   int64_t progressBase, int64_t progressTotal);

}  // namespace klangor
