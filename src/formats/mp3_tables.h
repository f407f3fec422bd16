#pragma once
// The computed tables of the Layer III decoder (ISO/IEC 11172-3 and 13818-3). All MP3 decoders
// of the process share one set, built on first use and read-only afterwards, so any thread
// may use them. The data tables of the standard (Huffman codes, scale factor bands, the
// synthesis window) live with the stage that uses them.

#include <cstdint>

namespace klangor {

inline constexpr int kMp3Subbands = 32;
inline constexpr int kMp3LinesPerSubband = 18;
inline constexpr int kMp3GranuleLines = 576;          // spectral lines (and samples) per granule
inline constexpr int kMp3LargestQuantised = 8206;     // 15 plus the largest 13-bit escape value
inline constexpr int32_t kMp3OutputFullScale = 524288;  // a full-scale decoded sample

struct LMp3Tables {
  // 2^((g - 210) / 4) for the global gain g = 0..255 (2^(-n/4) for n = 210 down to -45).
  float globalGain[256];
  // 2^(-n/2) for n = 0..64: scale factors, subblock gains, MPEG-2 intensity ratios.
  float halfPowers[65];
  // n^(4/3) for n = 0..8206.
  float powerFourThirds[kMp3LargestQuantised + 1];

  // Alias reduction butterflies cs[i], ca[i].
  float aliasCs[8];
  float aliasCa[8];

  // The 18-point DCT-IV that the 36-point IMDCT reduces to, y[n] = sum over k of
  // cos(pi/72 (2n+1)(2k+1)) x[k], runs through two 9-point DCT-IIIs: their cosines
  // cos(pi p (2n+1) / 18) for p = 0..8, n = 0..3, and the scales 1 / (2 cos(pi (2n+1) / 36))
  // and 1 / (2 cos(pi (2n+1) / 72)).
  float dct9[9][4];
  float dct4OddScale[9];
  float dct4Scale[18];
  // Windows of the long block types 0 (normal), 1 (start) and 3 (stop); row 2 is unused.
  float longWindows[4][36];
  // The 12-point IMDCT of a short block with its window folded in:
  // cos(pi/24 (2i+7)(2k+1)) x sin(pi/12 (i + 1/2)).
  float shortImdct[12][6];

  // The polyphase synthesis: the window of the standard scaled so that a full-scale sample
  // comes out as kMp3OutputFullScale, and the factors 1 / (2 cos(pi (2k+1) / 2N)) of the
  // fast 32-point DCT (N = 32, 16, 8, 4, 2 from offset 0, 16, 24, 28, 30).
  float synthesisWindow[512];
  float dctFactors[31];

  // MPEG-1 intensity stereo: the left and right factors of the positions 0..6.
  float intensityLeft[7];
  float intensityRight[7];
};

// The shared tables (built on the first call).
const LMp3Tables& Mp3Tables();

}  // namespace klangor
