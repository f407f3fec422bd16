#include "formats/mp3_imdct.h"

#include <algorithm>

#include "formats/mp3_simd.h"

namespace klangor {
namespace {

constexpr int kLines = kMp3LinesPerSubband;

// Alias reduction across the boundary below subband `sb`.
inline void AliasButterflies(const LMp3Tables& t, float* xr, int sb) {
  float* below = xr + sb * kLines - 1;
  float* above = xr + sb * kLines;
  for (int i = 0; i < 8; ++i) {
    const float a = below[-i];
    const float b = above[i];
    below[-i] = a * t.aliasCs[i] - b * t.aliasCa[i];
    above[i] = b * t.aliasCs[i] + a * t.aliasCa[i];
  }
}

// out[n] = sum over p < 9 of in[p] cos(pi p (2n + 1) / 18), using out[8 - n] = even - odd
// where out[n] = even + odd (the even and odd p terms).
inline void Dct3Of9(const LMp3Tables& t, const LFloat4* in, LFloat4* out) {
  for (int n = 0; n < 4; ++n) {
    const LFloat4 even =
        in[0] + in[2] * t.dct9[2][n] + in[4] * t.dct9[4][n] + in[6] * t.dct9[6][n] + in[8] * t.dct9[8][n];
    const LFloat4 odd =
        in[1] * t.dct9[1][n] + in[3] * t.dct9[3][n] + in[5] * t.dct9[5][n] + in[7] * t.dct9[7][n];
    out[n] = even + odd;
    out[8 - n] = even - odd;
  }
  out[4] = in[0] - in[2] + in[4] - in[6] + in[8];
}

// y[n] = sum over k < 18 of x[k] cos(pi (2n + 1)(2k + 1) / 72). With u[m] = x[m] + x[m - 1],
// 2 cos(pi (2n + 1) / 72) y[n] = sum over m of u[m] cos(pi m (2n + 1) / 36), whose even m form a
// 9-point DCT-III and whose odd m a 9-point DCT-IV, which the same step turns into a DCT-III.
inline void Dct4Of18(const LMp3Tables& t, const LFloat4* x, LFloat4* y) {
  LFloat4 even[9];
  LFloat4 odd[9];
  even[0] = x[0];
  odd[0] = x[1] + x[0];
  for (int p = 1; p < 9; ++p) {
    even[p] = x[2 * p] + x[2 * p - 1];
    // (u[2p + 1] + u[2p - 1]) = x[2p + 1] + x[2p] + x[2p - 1] + x[2p - 2]
    odd[p] = x[2 * p + 1] + x[2 * p] + x[2 * p - 1] + x[2 * p - 2];
  }
  LFloat4 e[9];
  LFloat4 o[9];
  Dct3Of9(t, even, e);
  Dct3Of9(t, odd, o);
  for (int n = 0; n < 9; ++n) {
    const LFloat4 scaled = o[n] * t.dct4OddScale[n];
    y[n] = (e[n] + scaled) * t.dct4Scale[n];
    y[17 - n] = (e[n] - scaled) * t.dct4Scale[17 - n];
  }
}

// Long blocks of subbands [0, count), four subbands at a time: the 36-point IMDCT through the
// 18-point DCT-IV y: x[i] = y[i + 9] (i < 9), -y[26 - i] (9 <= i < 27), -y[i - 27] (i >= 27).
void LongBlocks(const LMp3Tables& t, const float* xr, int count, const float* window,
                LMp3SubbandSamples& overlap, LMp3SubbandSamples& out) {
  for (int first = 0; first < count; first += 4) {
    const int lanes = std::min(4, count - first);
    // Subband first + l into lane l, through 4 x 4 transposes.
    LFloat4 x[kLines];
    const LFloat4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
    const float* line[4];
    for (int lane = 0; lane < 4; ++lane) line[lane] = xr + (first + std::min(lane, lanes - 1)) * kLines;
    for (int k = 0; k < 16; k += 4) {
      LFloat4 rows[4];
      for (int lane = 0; lane < 4; ++lane) rows[lane] = lane < lanes ? LoadFloat4(line[lane] + k) : zero;
      Transpose4(rows[0], rows[1], rows[2], rows[3]);
      for (int i = 0; i < 4; ++i) x[k + i] = rows[i];
    }
    for (int k = 16; k < kLines; ++k) {
      x[k] = zero;
      for (int lane = 0; lane < lanes; ++lane) x[k][lane] = line[lane][k];
    }
    LFloat4 y[kLines];
    Dct4Of18(t, x, y);
    LFloat4 result[kLines];
    LFloat4 carry[kLines];
    for (int s = 0; s < kLines; ++s) {
      const LFloat4 previous = LoadFloat4(&overlap[s][first]);
      result[s] = (s < 9 ? y[s + 9] * window[s] : y[26 - s] * -window[s]) + previous;
      carry[s] = (s < 9 ? y[8 - s] : y[s - 9]) * -window[s + kLines];
    }
    if (lanes == 4) {
      for (int s = 0; s < kLines; ++s) {
        StoreFloat4(&out[s][first], result[s]);
        StoreFloat4(&overlap[s][first], carry[s]);
      }
    } else {
      for (int s = 0; s < kLines; ++s) {
        for (int lane = 0; lane < lanes; ++lane) {
          out[s][first + lane] = result[s][lane];
          overlap[s][first + lane] = carry[s][lane];
        }
      }
    }
  }
}

// Short blocks: three 12-point IMDCTs per subband, overlapped within the 36 samples at 6, 12, 18.
void ShortBlock(const LMp3Tables& t, const float* xr, int sb, LMp3SubbandSamples& overlap,
                LMp3SubbandSamples& out) {
  float z[36] = {};
  for (int w = 0; w < 3; ++w) {
    const float* in = xr + sb * kLines + w * 6;
    float* target = z + 6 + 6 * w;
    for (int i = 0; i < 12; ++i) {
      float sum = 0.0f;
      for (int k = 0; k < 6; ++k) sum += t.shortImdct[i][k] * in[k];
      target[i] += sum;
    }
  }
  for (int s = 0; s < kLines; ++s) {
    out[s][sb] = z[s] + overlap[s][sb];
    overlap[s][sb] = z[s + kLines];
  }
}

}  // namespace

void Mp3HybridSynthesis(float xr[kMp3GranuleLines], const LMp3GranuleInfo& info, int longSubbands,
                        int subbands, LMp3SubbandSamples& overlap, LMp3SubbandSamples& out) {
  const LMp3Tables& t = Mp3Tables();
  subbands = std::clamp(subbands, 0, kMp3Subbands);
  const bool shortBlocks = info.ShortBlocks();
  const int longEnd = !shortBlocks ? kMp3Subbands : info.mixed ? std::clamp(longSubbands, 0, kMp3Subbands) : 0;

  // Alias reduction between neighbouring long subbands. The butterflies at the boundary above
  // the last subband with input carry some of it into the subband above.
  const int boundaries = std::min(longEnd - 1, subbands);
  for (int sb = 1; sb <= boundaries; ++sb) AliasButterflies(t, xr, sb);
  if (boundaries > 0 && boundaries == subbands) ++subbands;

  int done = 0;
  const int longCount = std::min(longEnd, subbands);
  if (longCount > 0) {
    const float* window = t.longWindows[shortBlocks ? 0 : static_cast<int>(info.blockType)];
    LongBlocks(t, xr, longCount, window, overlap, out);
    done = longCount;
  }
  if (shortBlocks) {
    for (int sb = longEnd; sb < subbands; ++sb) ShortBlock(t, xr, sb, overlap, out);
    done = std::max(done, subbands);
  }
  // Subbands without input: the overlap comes out, nothing goes in.
  for (int s = 0; s < kLines; ++s) {
    for (int sb = done; sb < kMp3Subbands; ++sb) {
      out[s][sb] = overlap[s][sb];
      overlap[s][sb] = 0.0f;
    }
  }
  // Frequency inversion: odd time slots of odd subbands change sign.
  const LFloat4 signs = {1.0f, -1.0f, 1.0f, -1.0f};
  for (int s = 1; s < kLines; s += 2) {
    for (int sb = 0; sb < kMp3Subbands; sb += 4) StoreFloat4(&out[s][sb], LoadFloat4(&out[s][sb]) * signs);
  }
}

}  // namespace klangor
