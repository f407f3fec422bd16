#include "formats/wave_format.h"

#include <algorithm>
#include <cstring>

namespace klangor {
namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// KSDATAFORMAT_SUBTYPE_PCM as stored: 00000001-0000-0010-8000-00AA00389B71.
constexpr uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// In the extensible record's extra bytes: valid bits (2), channel mask (4), sub-format (16).
constexpr size_t kSubFormatOffset = 6;

}  // namespace

std::vector<uint8_t> SerializeWaveFormat(const LWaveFormat& format) {
  size_t extraBytes = std::min<size_t>(format.extraBytes.size(), 0xFFFF);
  std::vector<uint8_t> out;
  out.reserve(kWaveFormatFixedBytes + extraBytes);
  Put16(out, format.formatTag);
  Put16(out, format.channels);
  Put32(out, format.samplesPerSec);
  Put32(out, format.avgBytesPerSec);
  Put16(out, format.blockAlign);
  Put16(out, format.bitsPerSample);
  Put16(out, static_cast<uint16_t>(extraBytes));
  out.insert(out.end(), format.extraBytes.begin(),
             format.extraBytes.begin() + static_cast<std::ptrdiff_t>(extraBytes));
  return out;
}

std::optional<LWaveFormat> ParseWaveFormat(const uint8_t* bytes, size_t sizeBytes) {
  if (bytes == nullptr || sizeBytes < kWaveFormatMinBytes) return std::nullopt;
  LWaveFormat format;
  format.formatTag = Get16(bytes);
  format.channels = Get16(bytes + 2);
  format.samplesPerSec = Get32(bytes + 4);
  format.avgBytesPerSec = Get32(bytes + 8);
  format.blockAlign = Get16(bytes + 12);
  format.bitsPerSample = Get16(bytes + 14);
  if (sizeBytes >= kWaveFormatFixedBytes) {
    size_t extraBytes = std::min<size_t>(Get16(bytes + 16), sizeBytes - kWaveFormatFixedBytes);
    const uint8_t* extra = bytes + kWaveFormatFixedBytes;
    format.extraBytes.assign(extra, extra + extraBytes);
  }
  return format;
}

LWaveFormat MakePcmFormat(int32_t sampleRate, int channels, int bitsPerSample) {
  LWaveFormat format;
  format.formatTag = kWaveFormatPcm;
  format.channels = static_cast<uint16_t>(channels);
  format.samplesPerSec = static_cast<uint32_t>(sampleRate);
  format.blockAlign = static_cast<uint16_t>(channels * ((bitsPerSample + 7) / 8));
  format.bitsPerSample = static_cast<uint16_t>(bitsPerSample);
  format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
  return format;
}

LWaveFormat MakePcm16Format(int32_t sampleRate, int channels) {
  return MakePcmFormat(sampleRate, channels, 16);
}

bool IsPcmFormat(const LWaveFormat& format) {
  if (format.formatTag == kWaveFormatPcm) return true;
  if (format.formatTag != kWaveFormatExtensible) return false;
  if (format.extraBytes.size() < kSubFormatOffset + sizeof kPcmSubFormat) return false;
  return std::memcmp(format.extraBytes.data() + kSubFormatOffset, kPcmSubFormat,
                     sizeof kPcmSubFormat) == 0;
}

}  // namespace klangor
