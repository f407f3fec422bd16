#include "formats/mp3_requantize.h"

#include <algorithm>

namespace klangor {
namespace {

// 2^(-n/2) for any n >= 0 (n stays below 129 for every stream).
inline float HalfPower(const LMp3Tables& t, int n) {
  if (n <= 64) return t.halfPowers[n];
  return t.halfPowers[64] * t.halfPowers[std::min(n - 64, 64)];
}

inline void Scale(float* values, int count, float gain) {
  for (int i = 0; i < count; ++i) values[i] *= gain;
}

}  // namespace

int Mp3MixedLongLines(const LMp3Bands& bands, bool mpeg1) { return bands.longStart[mpeg1 ? 8 : 6]; }

void RequantizeMp3(int lines, const LMp3GranuleInfo& info, const LMp3ScaleFactors& factors,
                   const LMp3Bands& bands, bool mpeg1, float xr[kMp3GranuleLines]) {
  const LMp3Tables& t = Mp3Tables();
  lines = std::clamp(lines, 0, kMp3GranuleLines);
  const float global = t.globalGain[info.globalGain & 255];
  const int multiplier = info.scalefacScale ? 2 : 1;
  int line = 0;

  // Long bands: the whole granule, or the long part of a mixed block.
  const int longEnd = !info.ShortBlocks() ? kMp3GranuleLines : info.mixed ? Mp3MixedLongLines(bands, mpeg1) : 0;
  for (int band = 0; band < kMp3LongBands && line < std::min(longEnd, lines); ++band) {
    const int end = std::min<int>(bands.longStart[band + 1], longEnd);
    const int pre = info.preflag ? kMp3Pretab[band] : 0;
    const float gain = global * HalfPower(t, multiplier * (factors.longBands[band] + pre));
    const int count = std::min(end, lines) - line;
    Scale(xr + line, count, gain);
    line = end;
  }

  // Short bands: three windows per band, each with its subblock gain.
  if (info.ShortBlocks()) {
    for (int band = info.mixed ? 3 : 0; band < kMp3ShortBands && line < lines; ++band) {
      const int width = bands.shortStart[band + 1] - bands.shortStart[band];
      for (int w = 0; w < 3 && line < lines; ++w) {
        const int n = 4 * info.subblockGain[w] + multiplier * factors.shortBands[band][w];
        const int count = std::min(line + width, lines) - line;
        Scale(xr + line, count, global * HalfPower(t, n));
        line += width;
      }
    }
  }
}

void ReorderMp3ShortBlocks(const LMp3Bands& bands, bool mixed, bool mpeg1, float xr[kMp3GranuleLines]) {
  const int first = mixed ? Mp3MixedLongLines(bands, mpeg1) : 0;
  float ordered[kMp3GranuleLines];
  int source = first;
  for (int band = mixed ? 3 : 0; band < kMp3ShortBands; ++band) {
    const int start = bands.shortStart[band];
    const int width = bands.shortStart[band + 1] - start;
    for (int w = 0; w < 3; ++w) {
      for (int i = 0; i < width; ++i) {
        const int l = start + i;
        ordered[(l / 6) * 18 + w * 6 + l % 6] = xr[source++];
      }
    }
  }
  std::copy(ordered + first, ordered + kMp3GranuleLines, xr + first);
}

}  // namespace klangor
