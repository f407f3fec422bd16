#pragma once
// "WavCodec.wff": the WAV format last chosen for saving, in the data folder. The file is
// exactly 1024 bytes: the format record (formats/wave_format.h) with its extra bytes, padded
// with zeros; a file of another size is ignored.

#include <cstdint>
#include <optional>
#include <string>

#include "formats/wave_format.h"

namespace klangor {

inline constexpr size_t kWavCodecFileBytes = 1024;

// The data folder's "WavCodec.wff".
std::string WavCodecFilePath();

// The format stored in `path`, if the file holds a usable one.
std::optional<LWaveFormat> ReadWavCodecFile(const std::string& path);
// Writes `format` as the 1024-byte file (created or replaced whole); extra bytes beyond what
// fits are cut. False when it could not be written.
bool WriteWavCodecFile(const std::string& path, const LWaveFormat& format);

// The format the save dialog starts with: 16-bit PCM with the sound's rate and channels,
// unless `path` holds a saved format; a saved PCM format keeps only its bit depth (the rate
// and channels are the sound's when they are known, i.e. above 0).
LWaveFormat InitialSaveFormat(const std::string& path, int32_t sampleRate, int channels);

}  // namespace klangor
