#include "audio/time_units.h"

namespace klangor {

int64_t FramesToMs(int64_t frames, int32_t sampleRate) {
  if (sampleRate <= 0) return 0;
  return (frames % sampleRate) * 1000 / sampleRate + (frames / sampleRate) * 1000;
}

int64_t MsToFrames(int64_t ms, int32_t sampleRate) {
  if (sampleRate <= 0) return 0;
  return (ms / 1000) * sampleRate + (ms % 1000) * sampleRate / 1000;
}

}  // namespace klangor
