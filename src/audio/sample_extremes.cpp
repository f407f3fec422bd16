#include "audio/sample_extremes.h"

#include <algorithm>

#include "platform/cpu_features.h"

namespace klangor {
namespace {

// Lanes of 16 samples hold whole frames when the channel count divides 16 (1, 2, 4, 8 or 16,
// all powers of two), so that lane l belongs to channel l & (channels - 1) and the lanes are
// scanned as vectors.
constexpr int kLanes = 16;

[[gnu::always_inline]] inline void Widen(const int32_t* __restrict frames, size_t frameCount, int channels,
                                         LExtremes* __restrict perChannel) {
  const size_t samples = frameCount * static_cast<size_t>(channels);
  size_t i = 0;
  if (kLanes % channels == 0 && samples >= kLanes) {
    int32_t largest[kLanes];
    int32_t smallest[kLanes];
    std::copy_n(frames, kLanes, largest);
    std::copy_n(frames, kLanes, smallest);
    for (i = kLanes; i + kLanes <= samples; i += kLanes) {
      for (int l = 0; l < kLanes; ++l) {
        largest[l] = std::max(largest[l], frames[i + l]);
        smallest[l] = std::min(smallest[l], frames[i + l]);
      }
    }
    for (int l = 0; l < kLanes; ++l) {
      LExtremes& e = perChannel[l & (channels - 1)];
      e.largest = std::max(e.largest, largest[l]);
      e.smallest = std::min(e.smallest, smallest[l]);
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
