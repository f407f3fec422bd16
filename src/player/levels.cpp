#include "player/levels.h"

#include <algorithm>
#include <cmath>

namespace klangor {

int8_t ChannelLevel(const int32_t* samples, int32_t frames, int channels, int channel) {
  if (frames <= 0) return -127;
  uint64_t high = 0;  // sum of square >> 13
  uint64_t low = 0;   // sum of square & 8191
  for (int32_t i = 0; i < frames; ++i) {
    const int64_t v = samples[static_cast<size_t>(i) * static_cast<size_t>(channels) + static_cast<size_t>(channel)] >> 5;
    const auto square = static_cast<uint64_t>(v * v);
    high += square >> 13;
    low += square & 8191;
  }
  const uint64_t n = static_cast<uint64_t>(frames);
  const uint64_t sum = high + (low >> 13);
  const uint64_t mean = ((sum % n) << 13) / n + ((sum / n) << 13);
  if (mean == 0) return -127;
  double level = 10.0 * std::log10(static_cast<double>(mean) / 8388626.0);
  level += mean >= 8388626 ? 0.5 : -0.5;
  return static_cast<int8_t>(std::clamp(std::trunc(level), -127.0, 127.0));
}

void MeasureLevels(const int32_t* samples, int32_t frames, int channels, LLevelRecord* record) {
  record->channels = static_cast<uint8_t>(std::clamp(channels, 0, 255));
  for (int c = 0; c < record->channels; ++c) record->levels[static_cast<size_t>(c)] = ChannelLevel(samples, frames, channels, c);
}

}  // namespace klangor
