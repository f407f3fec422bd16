#include "formats/au_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "audio/error_stream.h"
#include "formats/pcm_file.h"
#include "formats/readable_file.h"
#include "platform/byte_order.h"

namespace klangor {
namespace {

constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;

std::vector<uint8_t> AuHeader(const LPcmHeaderInfo& info) {
  std::vector<uint8_t> header(kAuHeaderBytes);
  std::memcpy(header.data(), ".snd", 4);
  StoreBe32(&header[4], static_cast<uint32_t>(kAuHeaderBytes));
  // Sizes beyond 32 bits keep the all-ones size, which reads as "up to the end".
  uint32_t size = kUnknownSize;
  if (info.finished && info.dataBytes < int64_t{kUnknownSize}) size = static_cast<uint32_t>(info.dataBytes);
  StoreBe32(&header[8], size);
  StoreBe32(&header[12], 3);
  StoreBe32(&header[16], static_cast<uint32_t>(info.sampleRate));
  StoreBe32(&header[20], static_cast<uint32_t>(info.channels));
  return header;
}

}  // namespace

LRef<LSoundStream> OpenAuFile(const std::string& path) {
  LFile file = OpenReadableFile(path);
  if (!file.IsOpen()) return MakeErrorStream(LStreamState::kCannotOpen);
  uint8_t header[kAuHeaderBytes];
  if (file.ReadAt(0, header, kAuHeaderBytes) != kAuHeaderBytes) return MakeErrorStream(LStreamState::kCorrupt);
  if (std::memcmp(header, ".snd", 4) != 0) return MakeErrorStream(LStreamState::kCorrupt);

  const int64_t dataStart = LoadBe32(header + 4);
  const uint32_t dataBytes = LoadBe32(header + 8);
  LPcmCodec codec;
  switch (LoadBe32(header + 12)) {
    case 1: codec = LPcmCodec::kMuLaw; break;
    case 2: codec = LPcmCodec::k8BitSigned; break;
    case 3: codec = LPcmCodec::k16BitBigEndian; break;
    case 27: codec = LPcmCodec::kALaw; break;
    default: return MakeErrorStream(LStreamState::kCodecMissing);
  }
  const auto rate = static_cast<int32_t>(LoadBe32(header + 16));
  const uint32_t channelField = LoadBe32(header + 20);
  if (rate <= 0 || channelField == 0 || channelField > 255) return MakeErrorStream(LStreamState::kCorrupt);
  const auto channels = static_cast<int>(channelField);
  int64_t length = kLengthToEndOfFile;
  if (dataBytes != kUnknownSize) length = dataBytes / (int64_t{channels} * PcmBytesPerSample(codec));
  return MakeRef<LPcmFileStream>(std::move(file), codec, rate, channels, dataStart, length);
}

LRef<LSoundSink> CreateAuFile(const std::string& path, int32_t sampleRate, int channels) {
  return MakeRef<LPcmFileSink>(path, LPcmCodec::k16BitBigEndian, sampleRate, channels, LPcmSinkOptions{AuHeader});
}

}  // namespace klangor
