#pragma once
// The scale factor bands of Layer III for the nine sample rates (ISO/IEC 11172-3 Table 3-B.8,
// ISO/IEC 13818-3 Table B.2 and the MPEG-2.5 extension), and the pre-emphasis table.

#include <cstdint>

namespace klangor {

inline constexpr int kMp3LongBands = 22;   // the last band carries no scale factor
inline constexpr int kMp3ShortBands = 13;  // likewise

struct LMp3Bands {
  int16_t longStart[kMp3LongBands + 1];    // first line of each long band, then 576
  int16_t shortStart[kMp3ShortBands + 1];  // first line of each short band within a window, then 192
};

// The bands of a rate index as LMp3Header::RateTableIndex() gives it (0..8).
const LMp3Bands& Mp3Bands(int rateTableIndex);

// The pre-emphasis added to the long-band scale factors when preflag is set.
inline constexpr uint8_t kMp3Pretab[kMp3LongBands] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                       1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

}  // namespace klangor
