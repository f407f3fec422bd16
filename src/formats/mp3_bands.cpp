#include "formats/mp3_bands.h"

#include <array>
#include <cstddef>

namespace klangor {
namespace {

// Band widths in lines, as the standards print them.
constexpr uint8_t kLongWidths[9][kMp3LongBands] = {
    {4, 4, 4, 4, 4, 4, 6, 6, 8, 8, 10, 12, 16, 20, 24, 28, 34, 42, 50, 54, 76, 158},     // 44100
    {4, 4, 4, 4, 4, 4, 6, 6, 6, 8, 10, 12, 16, 18, 22, 28, 34, 40, 46, 54, 54, 192},     // 48000
    {4, 4, 4, 4, 4, 4, 6, 6, 8, 10, 12, 16, 20, 24, 30, 38, 46, 56, 68, 84, 102, 26},    // 32000
    {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},   // 22050
    {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 18, 22, 26, 32, 38, 46, 54, 62, 70, 76, 36},   // 24000
    {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},   // 16000
    {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},   // 11025
    {6, 6, 6, 6, 6, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 38, 46, 52, 60, 68, 58, 54},   // 12000
    {12, 12, 12, 12, 12, 12, 16, 20, 24, 28, 32, 40, 48, 56, 64, 76, 90, 2, 2, 2, 2, 2},  // 8000
};
constexpr uint8_t kShortWidths[9][kMp3ShortBands] = {
    {4, 4, 4, 4, 6, 8, 10, 12, 14, 18, 22, 30, 56},   // 44100
    {4, 4, 4, 4, 6, 6, 10, 12, 14, 16, 20, 26, 66},   // 48000
    {4, 4, 4, 4, 6, 8, 12, 16, 20, 26, 34, 42, 12},   // 32000
    {4, 4, 4, 6, 6, 8, 10, 14, 18, 26, 32, 42, 18},   // 22050
    {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 32, 44, 12},  // 24000
    {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 30, 40, 18},  // 16000
    {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 30, 40, 18},  // 11025
    {4, 4, 4, 6, 8, 10, 12, 14, 18, 24, 30, 40, 18},  // 12000
    {8, 8, 8, 12, 16, 20, 24, 28, 36, 2, 2, 2, 26},   // 8000
};

constexpr std::array<LMp3Bands, 9> MakeBands() {
  std::array<LMp3Bands, 9> all{};
  for (int r = 0; r < 9; ++r) {
    int16_t line = 0;
    for (int b = 0; b < kMp3LongBands; ++b) {
      all[r].longStart[b] = line;
      line = static_cast<int16_t>(line + kLongWidths[r][b]);
    }
    all[r].longStart[kMp3LongBands] = line;
    line = 0;
    for (int b = 0; b < kMp3ShortBands; ++b) {
      all[r].shortStart[b] = line;
      line = static_cast<int16_t>(line + kShortWidths[r][b]);
    }
    all[r].shortStart[kMp3ShortBands] = line;
  }
  return all;
}

constexpr std::array<LMp3Bands, 9> kBands = MakeBands();
static_assert(kBands[0].longStart[kMp3LongBands] == 576 && kBands[8].longStart[kMp3LongBands] == 576);

constexpr bool AllBandsCover() {
  for (const LMp3Bands& b : kBands) {
    if (b.longStart[kMp3LongBands] != 576 || b.shortStart[kMp3ShortBands] != 192) return false;
  }
  return true;
}
static_assert(AllBandsCover(), "every rate's bands cover the granule");

}  // namespace

const LMp3Bands& Mp3Bands(int rateTableIndex) { return kBands[static_cast<std::size_t>(rateTableIndex)]; }

}  // namespace klangor
