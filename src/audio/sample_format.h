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

}  // namespace klangor
