#pragma once
// The files of a recording: a take is a 16-bit PCM WAV file written through as it grows
// (readable at any moment, RF64 past 4 GB), and the virtual input plays WAV files.

#include <cstdint>
#include <string>

#include "audio/sound_sink.h"
#include "audio/sound_stream.h"

namespace klangor {

// The WAV file at `path` as a stream (an error stream when it is none).
LRef<LSoundStream> OpenTakeSource(const std::string& path);
// Creates (or replaces) the take file; a sink with kCannotWrite when it cannot be created.
// With `keepFrames` above 0 the take's first frames stay and recording continues after them.
LRef<LSoundSink> CreateTakeFile(const std::string& path, int32_t sampleRate, int channels, int32_t keepFrames = 0);

}  // namespace klangor
