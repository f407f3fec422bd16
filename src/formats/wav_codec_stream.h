#pragma once
// The data of a compressed WAVE file (any format tag but PCM: IMA and MS ADPCM, A-law, mu-law,
// GSM 6.10, MPEG layer 3, IEEE float, ...) decoded through FFmpeg at the file's own rate and
// channel count. Codecs with a fixed number of frames per block know their length from the
// data size and seek straight to the block that holds a frame; for the others the length is
// the estimate from the average byte rate until the end is reached (as ffmpeg_file.h says).

#include <cstdint>

#include "audio/ref_counted.h"
#include "audio/sound_stream.h"
#include "formats/wave_format.h"
#include "platform/file.h"

namespace klangor {

// `dataBytes` bytes of audio from `dataStart` on. Never null; state kCodecMissing when no
// decoder handles the format.
LRef<LSoundStream> OpenWaveCodecStream(LFile file, const LWaveFormat& format, int64_t dataStart, int64_t dataBytes);

}  // namespace klangor
