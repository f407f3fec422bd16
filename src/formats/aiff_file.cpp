#include "formats/aiff_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/error_stream.h"
#include "formats/pcm_file.h"
#include "formats/readable_file.h"
#include "platform/byte_order.h"

namespace klangor {
namespace {

constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
constexpr int64_t kCommBytes = 18;

// Walks the chunks from `*offset` to the one named `id`; on success `*offset` is the start of
// its body and `*size` its size. Each step moves forward by at least 8 bytes and a header
// that cannot be read ends the walk, so it terminates on any input.
bool FindChunk(const LFile& file, const char (&id)[5], int64_t* offset, int32_t* size) {
  for (;;) {
    uint8_t header[8];
    if (file.ReadAt(*offset, header, 8) != 8) return false;
    *size = static_cast<int32_t>(LoadBe32(header + 4));
    if (*size < 0) return false;
    *offset += 8;
    if (std::memcmp(header, id, 4) == 0) return true;
    *offset += (int64_t{*size} + 1) & ~int64_t{1};
  }
}

std::vector<uint8_t> AiffHeader(const LPcmHeaderInfo& info) {
  std::vector<uint8_t> header(kAiffHeaderBytes);
  const int64_t frameBytes = int64_t{info.channels} * 2;
  // A size beyond 32 bits cannot be written; the all-ones sizes stay.
  const bool fits = info.dataBytes + 46 <= int64_t{kAllOnes};
  std::memcpy(&header[0], "FORM", 4);
  StoreBe32(&header[4], fits ? static_cast<uint32_t>(info.dataBytes + 46) : kAllOnes);
  std::memcpy(&header[8], "AIFFCOMM", 8);
  StoreBe32(&header[16], static_cast<uint32_t>(kCommBytes));
  StoreBe16(&header[20], static_cast<uint32_t>(info.channels));
  StoreBe32(&header[22], static_cast<uint32_t>(info.dataBytes / frameBytes));
  StoreBe16(&header[26], 16);
  std::array<uint8_t, 10> rate = ExtendedFromRate(static_cast<uint32_t>(info.sampleRate));
  std::memcpy(&header[28], rate.data(), rate.size());
  std::memcpy(&header[38], "SSND", 4);
  StoreBe32(&header[42], info.finished && fits ? static_cast<uint32_t>(info.dataBytes + 8) : kAllOnes);
  // Offset and block size stay 0.
  return header;
}

}  // namespace

std::optional<int32_t> RateFromExtended(const std::array<uint8_t, 10>& bytes) {
  const int exponent = bytes[1];
  const uint64_t mantissa = LoadBe32(&bytes[2]);
  const int shift = 30 - exponent;
  if (shift < 0) return std::nullopt;  // 2^31 and more, infinity and NaN
  uint64_t rate = mantissa >> shift;
  if (shift > 0 && ((mantissa >> (shift - 1)) & 1) != 0) ++rate;
  if (rate > static_cast<uint64_t>(INT32_MAX)) return std::nullopt;
  return static_cast<int32_t>(rate);
}

std::array<uint8_t, 10> ExtendedFromRate(uint32_t rate) {
  std::array<uint8_t, 10> bytes{};
  int halvings = 0;
  for (uint32_t half = rate / 2; half > 1 && halvings < 32; half /= 2) ++halvings;
  uint32_t mantissa = rate;
  for (int i = 0; i < 32 && mantissa != 0 && (mantissa & 0x80000000u) == 0; ++i) mantissa <<= 1;
  bytes[0] = 0x40;
  bytes[1] = static_cast<uint8_t>(halvings);
  StoreBe32(&bytes[2], mantissa);
  return bytes;
}

LRef<LSoundStream> OpenAiffFile(const std::string& path) {
  LFile file = OpenReadableFile(path);
  if (!file.IsOpen()) return MakeErrorStream(LStreamState::kCannotOpen);
  uint8_t form[12];
  if (file.ReadAt(0, form, 12) != 12 || std::memcmp(form, "FORM", 4) != 0 ||
      std::memcmp(form + 8, "AIFF", 4) != 0) {
    return MakeErrorStream(LStreamState::kCorrupt);
  }

  int64_t commStart = 12;
  int32_t size = 0;
  uint8_t comm[kCommBytes];
  if (!FindChunk(file, "COMM", &commStart, &size) || size < kCommBytes ||
      file.ReadAt(commStart, comm, kCommBytes) != kCommBytes) {
    return MakeErrorStream(LStreamState::kCorrupt);
  }
  const uint32_t channels = LoadBe16(comm);
  const uint32_t bits = LoadBe16(comm + 6);
  std::array<uint8_t, 10> extended;
  std::memcpy(extended.data(), comm + 8, extended.size());
  const std::optional<int32_t> rate = RateFromExtended(extended);

  // The sound data chunk is looked for after COMM first, then from the start: it may come
  // before COMM too.
  int64_t offset = commStart + ((int64_t{size} + 1) & ~int64_t{1});
  if (!FindChunk(file, "SSND", &offset, &size)) {
    offset = 12;
    if (!FindChunk(file, "SSND", &offset, &size)) return MakeErrorStream(LStreamState::kCorrupt);
  }
  uint8_t fields[8];
  if (file.ReadAt(offset, fields, 8) != 8) return MakeErrorStream(LStreamState::kCorrupt);
  // The offset field says how many bytes of padding precede the first frame (the block size
  // only advises on alignment).
  const int64_t padding = LoadBe32(fields);
  const int64_t dataStart = offset + 8 + padding;
  const int64_t dataBytes = std::max<int64_t>(int64_t{size} - 8 - padding, 0);

  if (bits > 16) return MakeErrorStream(LStreamState::kCodecMissing);
  if (!rate || *rate <= 0 || channels == 0 || channels > 255) return MakeErrorStream(LStreamState::kCorrupt);
  const LPcmCodec codec = bits <= 8 ? LPcmCodec::k8BitSigned : LPcmCodec::k16BitBigEndian;
  const int64_t length = dataBytes / (int64_t{channels} * PcmBytesPerSample(codec));
  return MakeRef<LPcmFileStream>(std::move(file), codec, *rate, static_cast<int>(channels), dataStart,
                                 length);
}

LRef<LSoundSink> CreateAiffFile(const std::string& path, int32_t sampleRate, int channels) {
  return MakeRef<LPcmFileSink>(path, LPcmCodec::k16BitBigEndian, sampleRate, channels, LPcmSinkOptions{AiffHeader});
}

}  // namespace klangor
