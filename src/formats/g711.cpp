#include "formats/g711.h"

#include <array>

namespace klangor {
namespace {

// mu-law: segment e covers magnitudes from kMuStart[e] to below kMuStart[e + 1] in steps of
// 2^(e + 7); its codes decode to kMuBase[e] + m x 2^(e + 7). These are the standard's
// ((m x 8 + 132) << e) - 132 and its segment ends, times 16.
constexpr int32_t kMuBase[8] = {0, 2112, 6336, 14784, 31680, 65472, 133056, 268224};
constexpr int64_t kMuTop[7] = {1984, 6080, 14272, 30656, 63424, 128960, 260032};
constexpr int64_t kMuStart[8] = {0, 1984, 6080, 14272, 30656, 63424, 128960, 260032};

// A-law: segment e covers [kAStart[e], kAStart[e + 1]) in steps of kAStep[e].
constexpr int32_t kAStep[8] = {256, 256, 512, 1024, 2048, 4096, 8192, 16384};
constexpr int32_t kABase[8] = {128, 4224, 8448, 16896, 33792, 67584, 135168, 270336};
constexpr int64_t kAStart[8] = {0, 4096, 8192, 16384, 32768, 65536, 131072, 262144};

template <int32_t (*Decode)(uint8_t)>
std::array<int32_t, 256> MakeTable() {
  std::array<int32_t, 256> table{};
  for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = Decode(static_cast<uint8_t>(i));
  return table;
}

}  // namespace

int32_t MuLawToSample(uint8_t code) {
  const int u = static_cast<uint8_t>(~code);
  const int e = (u >> 4) & 7;
  const int32_t magnitude = ((u & 15) << (e + 7)) + kMuBase[e];
  return (code & 0x80) == 0 ? -magnitude : magnitude;
}

uint8_t SampleToMuLaw(int32_t sample) {
  int sign = 0;
  int64_t x = sample;  // wide: the magnitude of INT32_MIN
  if (x < 0) {
    sign = 0x80;
    x = -x;
  }
  int e = 0;
  while (e < 7 && x >= kMuTop[e]) ++e;
  int64_t m = (x - kMuStart[e]) >> (e + 7);
  if (m > 15) m = 15;
  return static_cast<uint8_t>(~(e << 4 | sign | static_cast<int>(m)));
}

int32_t ALawToSample(uint8_t code) {
  const int a = code ^ 0x55;
  const int e = (a >> 4) & 7;
  const int32_t magnitude = (a & 15) * kAStep[e] + kABase[e];
  return (a & 0x80) == 0 ? -magnitude : magnitude;
}

uint8_t SampleToALaw(int32_t sample) {
  int sign = 0x80;
  int64_t x = sample;
  if (x < 0) {
    sign = 0;
    x = -x;
  }
  int e = 0;
  while (e < 7 && x >= kAStart[e + 1]) ++e;
  int64_t m = (x - kAStart[e]) / kAStep[e];
  if (m > 15) m = 15;
  return static_cast<uint8_t>((e << 4 | sign | static_cast<int>(m)) ^ 0x55);
}

void DecodeMuLaw(const uint8_t* in, int32_t* out, size_t sampleCount) {
  static const std::array<int32_t, 256> table = MakeTable<MuLawToSample>();
  for (size_t i = 0; i < sampleCount; ++i) out[i] = table[in[i]];
}

void EncodeMuLaw(const int32_t* in, uint8_t* out, size_t sampleCount) {
  for (size_t i = 0; i < sampleCount; ++i) out[i] = SampleToMuLaw(in[i]);
}

void DecodeALaw(const uint8_t* in, int32_t* out, size_t sampleCount) {
  static const std::array<int32_t, 256> table = MakeTable<ALawToSample>();
  for (size_t i = 0; i < sampleCount; ++i) out[i] = table[in[i]];
}

void EncodeALaw(const int32_t* in, uint8_t* out, size_t sampleCount) {
  for (size_t i = 0; i < sampleCount; ++i) out[i] = SampleToALaw(in[i]);
}

}  // namespace klangor
