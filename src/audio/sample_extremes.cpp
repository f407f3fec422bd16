#include "audio/sample_extremes.h"

#include <algorithm>

#include "platform/cpu_features.h"

namespace klangor {
namespace {

// Lanes of 16 samples hold whole frames when the channel count divides 16 (1, 2, 4, 8 or 16,
// all powers of two), so that lane l belongs to channel l & (channels - 1) and the lanes are
// scanned as vectors.
constexpr int kLanes = 16;

// Eight lanes as one vector (GCC's vector extension): the AVX2 build keeps each in a
// register, the baseline build in two SSE2 registers. Plain arrays of lanes were left scalar.
using LLanes = int32_t __attribute__((vector_size(32)));

// Loaded through a reference: a vector returned by value would draw GCC's ABI warning.
[[gnu::always_inline]] inline void LoadLanes(LLanes& v, const int32_t* p) { __builtin_memcpy(&v, p, sizeof v); }

[[gnu::always_inline]] inline void Widen(const int32_t* __restrict frames, size_t frameCount, int channels,
                                         LExtremes* __restrict perChannel) {
  const size_t samples = frameCount * static_cast<size_t>(channels);
  size_t i = 0;
  if (kLanes % channels == 0 && samples >= kLanes) {
    LLanes largest0, largest1, x0, x1;
    LoadLanes(largest0, frames);
    LoadLanes(largest1, frames + 8);
    LLanes smallest0 = largest0;
    LLanes smallest1 = largest1;
    for (i = kLanes; i + kLanes <= samples; i += kLanes) {
      LoadLanes(x0, frames + i);
      LoadLanes(x1, frames + i + 8);
      largest0 = x0 > largest0 ? x0 : largest0;
      largest1 = x1 > largest1 ? x1 : largest1;
      smallest0 = x0 < smallest0 ? x0 : smallest0;
      smallest1 = x1 < smallest1 ? x1 : smallest1;
    }
    for (int l = 0; l < kLanes; ++l) {
      LExtremes& e = perChannel[l & (channels - 1)];
      e.largest = std::max(e.largest, l < 8 ? largest0[l] : largest1[l - 8]);
      e.smallest = std::min(e.smallest, l < 8 ? smallest0[l] : smallest1[l - 8]);
    }
  }
  // i is a multiple of the channel count here.
  for (int c = 0; i < samples; ++i) {
    LExtremes& e = perChannel[c];
    e.largest = std::max(e.largest, frames[i]);
    e.smallest = std::min(e.smallest, frames[i]);
    if (++c == channels) c = 0;
  }
}

}  // namespace

void WidenFrameExtremes(const int32_t* frames, size_t frameCount, int channels, LExtremes* perChannel) {
  if (frameCount == 0 || channels <= 0) return;
  RunBestCode<Widen>(frames, frameCount, channels, perChannel);
}

LExtremes ExtremesOf(const int32_t* samples, size_t sampleCount) {
  LExtremes extremes;
  WidenFrameExtremes(samples, sampleCount, 1, &extremes);
  return extremes;
}

}  // namespace klangor
