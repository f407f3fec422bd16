#include "audio/sample_format.h"

#include <bit>
#include <cstring>

namespace klangor {

LSampleWidth SampleWidthForBits(int bitsPerSample) {
  if (bitsPerSample <= 8) return LSampleWidth::k8Bit;
  if (bitsPerSample <= 16) return LSampleWidth::k16Bit;
  if (bitsPerSample <= 24) return LSampleWidth::k24Bit;
  return LSampleWidth::k32Bit;
}

namespace {

// 8-bit data is unsigned: 128 is silence.
void DecodeU8(const uint8_t* in, int32_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = (static_cast<int32_t>(in[i]) - 128) * 4096;
}

void DecodeS16(const uint8_t* in, int32_t* out, size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    // Whole 16-bit loads, which the compiler turns into vector code.
    for (size_t i = 0; i < n; ++i) {
      int16_t s;
      std::memcpy(&s, in + 2 * i, sizeof s);
      out[i] = s * 16;
    }
  } else {
    for (size_t i = 0; i < n; ++i) {
      auto s = static_cast<int16_t>(static_cast<uint16_t>(in[2 * i] | (in[2 * i + 1] << 8)));
      out[i] = s * 16;
    }
  }
}

void DecodeS24(const uint8_t* in, int32_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = static_cast<uint32_t>(in[3 * i]) << 8 | static_cast<uint32_t>(in[3 * i + 1]) << 16 |
                 static_cast<uint32_t>(in[3 * i + 2]) << 24;
    out[i] = static_cast<int32_t>(u) >> 12;  // sign-extended 24-bit value, then >> 4
  }
}

void DecodeS32(const uint8_t* in, int32_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = static_cast<uint32_t>(in[4 * i]) | static_cast<uint32_t>(in[4 * i + 1]) << 8 |
                 static_cast<uint32_t>(in[4 * i + 2]) << 16 | static_cast<uint32_t>(in[4 * i + 3]) << 24;
    out[i] = static_cast<int32_t>((static_cast<int64_t>(static_cast<int32_t>(u)) + 2048) >> 12);
  }
}

// The encoders compute in unsigned 32-bit arithmetic: the kept low bits are the same as
// with unbounded integers, and overflow is defined.
void EncodeU8(const int32_t* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = static_cast<uint32_t>(KeepBelowEightBitTop(in[i])) + 2048u;
    out[i] = static_cast<uint8_t>((u >> 12) + 128u);
  }
}

void EncodeS16(const int32_t* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t u = (static_cast<uint32_t>(in[i]) + 8u) >> 4;
    if constexpr (std::endian::native == std::endian::little) {
      const auto low = static_cast<uint16_t>(u);
      std::memcpy(out + 2 * i, &low, sizeof low);
    } else {
      out[2 * i] = static_cast<uint8_t>(u);
      out[2 * i + 1] = static_cast<uint8_t>(u >> 8);
    }
  }
}

void EncodeS24(const int32_t* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = static_cast<uint32_t>(in[i]) << 4;
    out[3 * i] = static_cast<uint8_t>(u);
    out[3 * i + 1] = static_cast<uint8_t>(u >> 8);
    out[3 * i + 2] = static_cast<uint8_t>(u >> 16);
  }
}

void EncodeS32(const int32_t* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = static_cast<uint32_t>(in[i]) << 12;
    out[4 * i] = static_cast<uint8_t>(u);
    out[4 * i + 1] = static_cast<uint8_t>(u >> 8);
    out[4 * i + 2] = static_cast<uint8_t>(u >> 16);
    out[4 * i + 3] = static_cast<uint8_t>(u >> 24);
  }
}

}  // namespace

void DecodeSamples(LSampleWidth width, const uint8_t* in, int32_t* out, size_t sampleCount) {
  switch (width) {
    case LSampleWidth::k8Bit: DecodeU8(in, out, sampleCount); break;
    case LSampleWidth::k16Bit: DecodeS16(in, out, sampleCount); break;
    case LSampleWidth::k24Bit: DecodeS24(in, out, sampleCount); break;
    case LSampleWidth::k32Bit: DecodeS32(in, out, sampleCount); break;
  }
}

void EncodeSamples(LSampleWidth width, const int32_t* in, uint8_t* out, size_t sampleCount) {
  switch (width) {
    case LSampleWidth::k8Bit: EncodeU8(in, out, sampleCount); break;
    case LSampleWidth::k16Bit: EncodeS16(in, out, sampleCount); break;
    case LSampleWidth::k24Bit: EncodeS24(in, out, sampleCount); break;
    case LSampleWidth::k32Bit: EncodeS32(in, out, sampleCount); break;
  }
}

}  // namespace klangor
