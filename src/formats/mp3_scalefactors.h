#pragma once
// Part 2 of a granule's main data: the scale factors (ISO/IEC 11172-3; for the lower sample
// rates ISO/IEC 13818-3, which also codes the intensity positions of the right channel in
// them).

#include <cstdint>

#include "formats/mp3_bands.h"
#include "formats/mp3_bits.h"
#include "formats/mp3_side_info.h"

namespace klangor {

struct LMp3ScaleFactors {
  uint8_t longBands[kMp3LongBands] = {};      // the last band stays 0
  uint8_t shortBands[kMp3ShortBands][3] = {};  // [band][window]; the last band stays 0
  // The largest value each band's field can hold. For the right channel of intensity stereo
  // that value marks a band without an intensity position (7 for MPEG-1).
  uint8_t longLimit[kMp3LongBands] = {};
  uint8_t shortLimit[kMp3ShortBands] = {};
};

// MPEG-1. For granule 1, `factors` must still hold the channel's granule 0 factors: the groups
// of long bands that scfsi marks are kept from them.
void ReadMp3ScaleFactorsMpeg1(LMp3BitReader& bits, const LMp3GranuleInfo& granule,
                              const bool scfsi[4], int granuleIndex, LMp3ScaleFactors* factors);

// MPEG-2 and 2.5. `intensityRight` is true for the right channel of a frame with intensity
// stereo. Sets granule->preflag as scalefac_compress says.
void ReadMp3ScaleFactorsMpeg2(LMp3BitReader& bits, LMp3GranuleInfo* granule, bool intensityRight,
                              LMp3ScaleFactors* factors);

}  // namespace klangor
