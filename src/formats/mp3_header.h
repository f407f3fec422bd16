#pragma once
// Layer III frame headers of MPEG-1 (ISO/IEC 11172-3), MPEG-2 (ISO/IEC 13818-3) and the
// MPEG-2.5 extension for the lowest sample rates, and the frame counts that VBR files carry
// in a first frame without audio ("Xing"/"Info" and "VBRI").

#include <cstddef>
#include <cstdint>
#include <optional>

namespace klangor {

enum class LMpegVersion : uint8_t { k1, k2, k25 };

inline constexpr int kMp3HeaderBytes = 4;
inline constexpr int kMp3CrcBytes = 2;
// The largest frame: 320 kbit/s at 32000 Hz (MPEG-1) or 160 kbit/s at 8000 Hz (MPEG-2.5),
// 1440 bytes, plus a padding byte.
inline constexpr int kMp3MaxFrameBytes = 1441;
inline constexpr int kMp3MaxSamplesPerFrame = 1152;

struct LMp3Header {
  LMpegVersion version = LMpegVersion::k1;
  int bitrateKbps = 0;
  int sampleRateIndex = 0;  // 0..2, the rate within the version
  int sampleRateHz = 0;
  bool crc = false;         // a 16-bit CRC follows the header
  bool padding = false;
  int mode = 0;             // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  int modeExtension = 0;    // joint stereo: bit 1 middle/side, bit 0 intensity

  bool Mpeg1() const { return version == LMpegVersion::k1; }
  int Channels() const { return mode == 3 ? 1 : 2; }
  int Granules() const { return Mpeg1() ? 2 : 1; }
  int SamplesPerFrame() const { return Mpeg1() ? 1152 : 576; }
  // The whole frame: header, CRC, side information and main data.
  int FrameBytes() const;
  // Header plus CRC: where the side information starts.
  int SideInfoOffset() const { return kMp3HeaderBytes + (crc ? kMp3CrcBytes : 0); }
  int SideInfoBytes() const;
  // Frames of one stream share version, sample rate and channel count.
  bool SameStream(const LMp3Header& other) const {
    return version == other.version && sampleRateIndex == other.sampleRateIndex &&
           Channels() == other.Channels();
  }
  // The index of the sample rate among all nine Layer III rates (44100, 48000, 32000, 22050,
  // 24000, 16000, 11025, 12000, 8000).
  int RateTableIndex() const { return static_cast<int>(version) * 3 + sampleRateIndex; }
};

// The header in the four bytes at `bytes`, or nothing when any check fails: sync, a known
// version, Layer III, a bitrate index that gives a rate (not free format), a sample rate index
// below 3.
std::optional<LMp3Header> ParseMp3Header(const uint8_t* bytes);

// The frame count of a first frame that carries one instead of audio: its side information
// is all zero and is followed by "Xing" or "Info" with bit 0 of the flags set (the count is
// the 32-bit big-endian field after the flags), or by "VBRI" (the count follows 10 bytes
// later). With a CRC the tag may also sit where the side information would end without it,
// and "VBRI" 32 bytes after the header. `frame` holds `bytes` bytes of the frame. Nothing when
// the frame is an ordinary audio frame.
std::optional<uint32_t> ReadMp3FrameCount(const uint8_t* frame, size_t bytes, const LMp3Header& header);

}  // namespace klangor
