#pragma once
// The WAVEFORMATEX record of RIFF WAVE files (and of the saved format file), little-endian
// on disk: format tag, channels, samples per second, average bytes per second, block
// align, bits per sample, extra size, then that many bytes of codec data.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace klangor {

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

// The fixed part including the extra size field; a record of 16 bytes has no extra size.
inline constexpr size_t kWaveFormatFixedBytes = 18;
inline constexpr size_t kWaveFormatMinBytes = 16;

struct LWaveFormat {
  uint16_t formatTag = kWaveFormatPcm;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  std::vector<uint8_t> extraBytes;  // the extra size is its length

  bool operator==(const LWaveFormat&) const = default;
};

// 18 bytes plus the extra bytes (at most 65535 of them are kept: the size field is 16 bits).
std::vector<uint8_t> SerializeWaveFormat(const LWaveFormat& format);

// Reads a record from `sizeBytes` bytes. Fewer than 16 bytes give nothing; below 18 bytes the
// extra size is 0; an extra size beyond the given bytes is cut to what is there.
std::optional<LWaveFormat> ParseWaveFormat(const uint8_t* bytes, size_t sizeBytes);

// Plain PCM of the given layout (tag 1, no extra bytes). Rates and channel counts are taken
// as given; the derived fields wrap to their widths.
LWaveFormat MakePcmFormat(int32_t sampleRate, int channels, int bitsPerSample);
LWaveFormat MakePcm16Format(int32_t sampleRate, int channels);

// True for tag 1 and for the extensible format whose sub-format is integer PCM (what other
// programs write for more than 16 bits or more than two channels).
bool IsPcmFormat(const LWaveFormat& format);

}  // namespace klangor
