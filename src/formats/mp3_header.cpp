#include "formats/mp3_header.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstring>

namespace klangor {
namespace {

constexpr int kBitratesMpeg1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitratesMpeg2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int kSampleRatesMpeg1[3] = {44100, 48000, 32000};

}  // namespace

int LMp3Header::FrameBytes() const {
  const int slots = Mpeg1() ? 144000 : 72000;
  return slots * bitrateKbps / sampleRateHz + (padding ? 1 : 0);
}

int LMp3Header::SideInfoBytes() const {
  if (Mpeg1()) return Channels() == 1 ? 17 : 32;
  return Channels() == 1 ? 9 : 17;
}

std::optional<LMp3Header> ParseMp3Header(const uint8_t* bytes) {
  if (bytes[0] != 0xFF || bytes[1] < 0xE0) return std::nullopt;
  LMp3Header header;
  switch ((bytes[1] >> 3) & 3) {
    case 0: header.version = LMpegVersion::k25; break;
    case 2: header.version = LMpegVersion::k2; break;
    case 3: header.version = LMpegVersion::k1; break;
    default: return std::nullopt;
  }
  if (((bytes[1] >> 1) & 3) != 1) return std::nullopt;  // 01 is Layer III
  header.crc = (bytes[1] & 1) == 0;
  const int bitrateIndex = bytes[2] >> 4;
  header.bitrateKbps = header.Mpeg1() ? kBitratesMpeg1[bitrateIndex] : kBitratesMpeg2[bitrateIndex];
  if (header.bitrateKbps == 0) return std::nullopt;
  header.sampleRateIndex = (bytes[2] >> 2) & 3;
  if (header.sampleRateIndex >= 3) return std::nullopt;
  const int divisor = header.version == LMpegVersion::k1 ? 1 : header.version == LMpegVersion::k2 ? 2 : 4;
  header.sampleRateHz = kSampleRatesMpeg1[header.sampleRateIndex] / divisor;
  header.padding = ((bytes[2] >> 1) & 1) != 0;
  header.mode = bytes[3] >> 6;
  header.modeExtension = (bytes[3] >> 4) & 3;
  return header;
}

std::optional<uint32_t> ReadMp3FrameCount(const uint8_t* frame, size_t bytes, const LMp3Header& header) {
  const size_t sideInfo = static_cast<size_t>(header.SideInfoOffset());
  const auto sideBytes = static_cast<size_t>(header.SideInfoBytes());
  // The tag follows the side information; encoders that write a CRC put it where the side
  // information would end without the CRC. VBRI has a fixed place, 32 bytes after the header.
  const size_t places[3] = {sideInfo + sideBytes, kMp3HeaderBytes + sideBytes, kMp3HeaderBytes + 32};
  for (size_t at : places) {
    if (at < sideInfo || bytes < at + 18) continue;
    if (!std::all_of(frame + sideInfo, frame + at, [](uint8_t b) { return b == 0; })) continue;
    if (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0) {
      const uint32_t flags = LoadBe32(frame + at + 4);
      if ((flags & 1) == 0) return std::nullopt;
      return LoadBe32(frame + at + 8);
    }
    // VBRI: "VBRI", version, delay, quality (2 bytes each), stream bytes (4), frames (4).
    if (std::memcmp(frame + at, "VBRI", 4) == 0) return LoadBe32(frame + at + 14);
  }
  return std::nullopt;
}

}  // namespace klangor
