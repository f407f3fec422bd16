#include "formats/mp3_synthesis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/mp3_simd.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace klangor {
namespace {

// out[m] = sum over k of in[k] cos(pi m (2k + 1) / 2N): the DCT-II, split recursively into
// the DCTs of the sums and of the scaled differences of mirrored inputs.
template <int N>
inline void FastDct(const LFloat4* in, LFloat4* out, const float* factors) {
  if constexpr (N == 1) {
    out[0] = in[0];
  } else {
    constexpr int kHalf = N / 2;
    LFloat4 sums[kHalf];
    LFloat4 differences[kHalf];
    for (int k = 0; k < kHalf; ++k) {
      sums[k] = in[k] + in[N - 1 - k];
      differences[k] = (in[k] - in[N - 1 - k]) * factors[k];
    }
    LFloat4 even[kHalf];
    LFloat4 odd[kHalf];
    FastDct<kHalf>(sums, even, factors + kHalf);
    FastDct<kHalf>(differences, odd, factors + kHalf);
    for (int r = 0; r < kHalf - 1; ++r) {
      out[2 * r] = even[r];
      out[2 * r + 1] = odd[r] + odd[r + 1];
    }
    out[N - 2] = even[kHalf - 1];
    out[N - 1] = odd[kHalf - 1];
  }
}

// V from the DCT Y: V[i] = Y[16 + i] for i < 16, 0 for i = 16, -Y[48 - i] for i < 48 and
// -Y[i - 48] above, by the symmetries of the cosines.
inline void SpreadMatrixing(const float* y, float* v) {
  for (int i = 0; i < 16; ++i) v[i] = y[16 + i];
  v[16] = 0.0f;
  for (int i = 17; i < 48; ++i) v[i] = -y[48 - i];
  for (int i = 48; i < 64; ++i) v[i] = -y[i - 48];
}

// Rounds 32 samples to the nearest integers, limited to +-2^30.
inline void ToIntegers(const float* in, int32_t* out) {
  constexpr float kLimit = 1073741824.0f;
#if defined(__SSE2__)
  const __m128 high = _mm_set1_ps(kLimit);
  const __m128 low = _mm_set1_ps(-kLimit);
  for (int j = 0; j < 32; j += 4) {
    const __m128 v = _mm_min_ps(_mm_max_ps(_mm_load_ps(in + j), low), high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_cvtps_epi32(v));  // to nearest
  }
#else
  for (int j = 0; j < 32; ++j) out[j] = static_cast<int32_t>(std::lrint(std::clamp(in[j], -kLimit, kLimit)));
#endif
}

}  // namespace

void Mp3SynthesisMatrixing(const float subbands[kMp3Subbands], float v[64]) {
  LFloat4 in[kMp3Subbands];
  for (int k = 0; k < kMp3Subbands; ++k) in[k] = LFloat4{subbands[k], 0.0f, 0.0f, 0.0f};
  LFloat4 y[kMp3Subbands];
  FastDct<kMp3Subbands>(in, y, Mp3Tables().dctFactors);
  float lane[kMp3Subbands];
  for (int k = 0; k < kMp3Subbands; ++k) lane[k] = y[k][0];
  SpreadMatrixing(lane, v);
}

void LMp3Synthesis::Reset() {
  std::memset(history_, 0, sizeof history_);
  newest_ = 0;
}

void LMp3Synthesis::Run(const LMp3SubbandSamples& in, int32_t* pcm) {
  const LMp3Tables& t = Mp3Tables();
  const float* window = t.synthesisWindow;
  for (int group = 0; group < kMp3LinesPerSubband; group += 4) {
    const int slots = std::min(4, kMp3LinesPerSubband - group);
    // Four time slots side by side: lane l of x[k] is subband k of slot group + l.
    LFloat4 x[kMp3Subbands];
    const LFloat4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int k = 0; k < kMp3Subbands; k += 4) {
      LFloat4 rows[4];
      for (int lane = 0; lane < 4; ++lane) rows[lane] = lane < slots ? LoadFloat4(&in[group + lane][k]) : zero;
      Transpose4(rows[0], rows[1], rows[2], rows[3]);
      for (int i = 0; i < 4; ++i) x[k + i] = rows[i];
    }
    LFloat4 y[kMp3Subbands];
    FastDct<kMp3Subbands>(x, y, t.dctFactors);
    alignas(16) float dct[4][kMp3Subbands];
    for (int k = 0; k < kMp3Subbands; k += 4) {
      LFloat4 rows[4] = {y[k], y[k + 1], y[k + 2], y[k + 3]};
      Transpose4(rows[0], rows[1], rows[2], rows[3]);
      for (int lane = 0; lane < 4; ++lane) StoreFloat4(&dct[lane][k], rows[lane]);
    }

    for (int lane = 0; lane < slots; ++lane) {
      newest_ = (newest_ + 15) & 15;
      SpreadMatrixing(dct[lane], history_[newest_]);
      // out[j] = sum over i < 8 of D[64i + j] V_(2i)[j] + D[64i + 32 + j] V_(2i+1)[32 + j],
      // where V_a is the matrixing result of a time slots ago.
      const float* even[8];
      const float* odd[8];
      for (int i = 0; i < 8; ++i) {
        even[i] = history_[(newest_ + 2 * i) & 15];
        odd[i] = history_[(newest_ + 2 * i + 1) & 15] + 32;
      }
      alignas(16) float sum[32];
      for (int j = 0; j < 32; j += 4) {
        LFloat4 acc = LoadFloat4(window + j) * LoadFloat4(even[0] + j) +
                      LoadFloat4(window + 32 + j) * LoadFloat4(odd[0] + j);
        for (int i = 1; i < 8; ++i) {
          acc += LoadFloat4(window + 64 * i + j) * LoadFloat4(even[i] + j) +
                 LoadFloat4(window + 64 * i + 32 + j) * LoadFloat4(odd[i] + j);
        }
        StoreFloat4(sum + j, acc);
      }
      ToIntegers(sum, pcm + (group + lane) * 32);
    }
  }
}

}  // namespace klangor
