#pragma once
// Sun/NeXT ".au" files: a 24-byte big-endian header (".snd", data offset, data size or all
// ones for "up to the end of the file", encoding, rate, channels) and the samples.
//
// Reading: encodings 1 (mu-law), 2 (8-bit signed), 3 (16-bit) and 27 (A-law); any other gives
// state kCodecMissing. A file shorter than the header or with another magic is kCorrupt
// (kCannotOpen when it cannot be opened). A rate or channel count that does not fit a stream
// (0, negative, above 255 channels) is kCorrupt as well.
//
// Writing: 16-bit big-endian samples. The header carries an all-ones data size while the
// file is written, so a file left behind still reads to its end; Finish() writes the size.

#include <cstdint>
#include <string>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"

namespace klangor {

inline constexpr int64_t kAuHeaderBytes = 24;

// Never null: a refused file gives a stream with the state above.
LRef<LSoundStream> OpenAuFile(const std::string& path);
LRef<LSoundSink> CreateAuFile(const std::string& path, int32_t sampleRate, int channels);

}  // namespace klangor
