#pragma once
// Conversions between file sample data and the internal 32-bit samples.
//
// Internal samples are 16 times a 16-bit value: a 16-bit sample s enters as s x 16 and
// leaves as (x + 8) >> 4. Writing keeps the low bits of the result (values beyond full scale
// wrap; outputs put a limiter in front where that matters). The loops are plain so that the
// compiler vectorises them.

#include <cstddef>
#include <cstdint>

namespace klangor {

inline constexpr int32_t kFullScale16 = 524272;       // full scale of decoded files
inline constexpr int32_t kDocumentFullScale = 2097152;  // nominal full scale of document readers
inline constexpr double kSampleToFloat = 1.0 / kFullScale16;

// A 64-bit count or sample brought into the 32-bit range.
inline int32_t SaturateToInt32(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

enum class LSampleWidth { k8Bit = 1, k16Bit = 2, k24Bit = 3, k32Bit = 4 };

inline int BytesPerSample(LSampleWidth width) { return static_cast<int>(width); }
// The container width that a header's bits per sample selects: 1-8, 9-16, 17-24, 25 and up.
LSampleWidth SampleWidthForBits(int bitsPerSample);

// Little-endian file data of `sampleCount` samples to internal samples.
void DecodeSamples(LSampleWidth width, const uint8_t* in, int32_t* out, size_t sampleCount);
// Internal samples to little-endian file data.
void EncodeSamples(LSampleWidth width, const int32_t* in, uint8_t* out, size_t sampleCount);

// The 8-bit encoders' rule (signed and unsigned codes alike): the rounding step of 4096 would
// carry the top of the 16-bit range (522240 up to full scale) to 128, which wraps to the most
// negative code; those values take the largest code instead. Beyond full scale the low bits
// are kept as for the other widths.
inline int32_t KeepBelowEightBitTop(int32_t sample) {
  return sample >= 522240 && sample < 524288 ? 522239 : sample;
}

}  // namespace klangor
