#include "formats/wave_format.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstring>

namespace klangor {
namespace {

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
  AppendLe16(out, format.formatTag);
  AppendLe16(out, format.channels);
  AppendLe32(out, format.samplesPerSec);
  AppendLe32(out, format.avgBytesPerSec);
  AppendLe16(out, format.blockAlign);
  AppendLe16(out, format.bitsPerSample);
  AppendLe16(out, static_cast<uint16_t>(extraBytes));
  out.insert(out.end(), format.extraBytes.begin(),
             format.extraBytes.begin() + static_cast<std::ptrdiff_t>(extraBytes));
  return out;
}

std::optional<LWaveFormat> ParseWaveFormat(const uint8_t* bytes, size_t sizeBytes) {
  if (bytes == nullptr || sizeBytes < kWaveFormatMinBytes) return std::nullopt;
  LWaveFormat format;
  format.formatTag = LoadLe16(bytes);
  format.channels = LoadLe16(bytes + 2);
  format.samplesPerSec = LoadLe32(bytes + 4);
  format.avgBytesPerSec = LoadLe32(bytes + 8);
  format.blockAlign = LoadLe16(bytes + 12);
  format.bitsPerSample = LoadLe16(bytes + 14);
  if (sizeBytes >= kWaveFormatFixedBytes) {
    size_t extraBytes = std::min<size_t>(LoadLe16(bytes + 16), sizeBytes - kWaveFormatFixedBytes);
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
