#pragma once
// ITU-T G.711 mu-law and A-law, between one code byte and one internal sample.
//
// Decoding gives the standard expansion to 16 bits times 16, so the largest magnitude is
// 516096 (mu-law 32124 x 16 at most, A-law 32256 x 16). Encoding picks the segment by the
// magnitude and truncates the mantissa; each code's decoded value lies half a step above the
// bottom of its interval, so a round trip errs by at most one step.

#include <cstddef>
#include <cstdint>

namespace klangor {

inline constexpr int32_t kG711FullScale = 516096;

int32_t MuLawToSample(uint8_t code);
uint8_t SampleToMuLaw(int32_t sample);
int32_t ALawToSample(uint8_t code);
uint8_t SampleToALaw(int32_t sample);

// Whole buffers (table lookups on the way in).
void DecodeMuLaw(const uint8_t* in, int32_t* out, size_t sampleCount);
void EncodeMuLaw(const int32_t* in, uint8_t* out, size_t sampleCount);
void DecodeALaw(const uint8_t* in, int32_t* out, size_t sampleCount);
void EncodeALaw(const int32_t* in, uint8_t* out, size_t sampleCount);

}  // namespace klangor
