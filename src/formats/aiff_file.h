#pragma once
// AIFF files (".aif", ".aiff"): big-endian chunks in a "FORM" of type "AIFF".
//
// Reading: the "COMM" chunk (channels, sample frames, bits per sample, rate as an 80-bit
// extended float) and then the "SSND" chunk after it, whose data starts after its offset and
// block-size fields. Samples of up to 8 bits are read as 8-bit signed, 9 to 16 bits as 16-bit;
// wider ones give state kCodecMissing. Anything else that does not fit (another form such as
// "AIFC", a missing or short chunk, a rate that is 0, infinite or beyond 32 bits, a channel
// count of 0 or above 255) is kCorrupt; kCannotOpen when the file cannot be opened.
//
// Writing: 16-bit samples after a 54-byte header; while the file is written the "SSND" size
// is all ones, Finish() writes the sizes and the frame count.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"

namespace klangor {

inline constexpr int64_t kAiffHeaderBytes = 54;

LRef<LSoundStream> OpenAiffFile(const std::string& path);
LRef<LSoundSink> CreateAiffFile(const std::string& path, int32_t sampleRate, int channels);

// The rate of an 80-bit extended value, rounded to an integer (the low byte of the exponent
// and the top 32 bits of the mantissa count); nothing when it does not fit 31 bits.
std::optional<int32_t> RateFromExtended(const std::array<uint8_t, 10>& bytes);
// A whole rate as an 80-bit extended value.
std::array<uint8_t, 10> ExtendedFromRate(uint32_t rate);

}  // namespace klangor
