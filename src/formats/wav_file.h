#pragma once
// RIFF WAVE files: the reader that turns a file into a stream and the writers that turn a
// sink's audio into a file.
//
// Reading: uncompressed PCM (format tag 1, or the extensible format with a PCM sub-format)
// of 1 to 32 bits per sample in containers of 1 to 4 bytes, up to 255 channels and 196000
// Hz. The stream's full scale is 524272. Other format tags are decoded through FFmpeg
// (formats/wav_codec_stream.h); a tag that no decoder handles gives state kCodecMissing.
//
// Reading also takes RF64 and BW64 files, and a data chunk whose size field is all ones
// gets its size from a "ds64" chunk before it (without one it runs to the end of the file).
//
// Writing: the PCM writer puts a 46-byte header (an 18-byte "fmt " chunk) in front of the
// samples. Data that 32-bit RIFF sizes cannot count (announced through ExpectFrames) and a
// growing file (CreatePcmWaveSink) get an 82-byte header instead: a 36-byte "JUNK" chunk
// after "WAVE" keeps the place of the "ds64" chunk, which replaces it, with "RF64" for
// "RIFF", once the data passes that limit. While the sink is open all sizes are all ones,
// so a file left behind by a crash still reads to its end; Finish() (or the last reference
// going) writes the real ones.

#include <cstdint>
#include <optional>
#include <string>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "formats/wave_format.h"

namespace klangor {

// The header that the PCM writer puts before the first sample.
inline constexpr int64_t kWaveHeaderBytes = 46;
// The header with room for "ds64": of a growing file, and of data beyond 32-bit sizes.
inline constexpr int64_t kRoomyWaveHeaderBytes = 82;

// Opens `path`; never null. State kOk, kCorrupt (not a WAVE file, or a broken or
// unsupported header), kCannotOpen (missing, unreadable, or not a regular file) or
// kCodecMissing (a compressed format that no decoder handles).
LRef<LSoundStream> OpenWaveFile(const std::string& path);

// A PCM file that another program is still writing, when its header already states the
// final data size (as flac and oggdec write it): `lengthFrames` is the size field's, the
// stream reads the frames the file holds at the time of each read (its own length follows the
// file), so the reader waits until the file holds dataStart + frames x frameBytes bytes.
// Nothing when the header is incomplete, not PCM, or its size is not known yet (0 or all ones).
struct LGrowingWave {
  LRef<LSoundStream> stream;
  int32_t lengthFrames = 0;
  int64_t dataStart = 0;
  int64_t frameBytes = 0;
};
std::optional<LGrowingWave> OpenGrowingWaveFile(const std::string& path);

// A sink that writes `format` to `path` (created, or replaced from its start). PCM formats
// write samples of the container width that the format's bits per sample select; the
// compressed ones are encoded (formats/wav_codec_sink.h). This is the writer for saving: the
// samples are written on a second thread and reach the file by the time Finish() returns.
LRef<LSoundSink> CreateWaveFile(const std::string& path, const LWaveFormat& format);

// The PCM writer with an explicit layout (1 to 4 bytes per sample, else a failed sink).
// With `startFrame` above 0 the first frames of an existing file are kept (as many of them
// as the file holds, at most `startFrame`) and writing continues after them, in the header
// layout of that file. Each piece is in the file when Write returns, so a file that grows
// while recording can be read at any time and survives a crash of the program up to the last
// write; the header turns into RF64 when the data passes 4 GB.
LRef<LSoundSink> CreatePcmWaveSink(const std::string& path, int channels, int bytesPerSample,
                                   int32_t sampleRate, int32_t startFrame);

}  // namespace klangor
