#include "effects/level_tracker.h"

#include <algorithm>
#include <cmath>

namespace klangor {

LLevelTracker::LLevelTracker(int p, int q)
    : lower_(std::clamp(-p, -127, 127)), upper_(std::clamp(-q, -127, 127)) {
  histogram_[128] = kRingSize;
}

void LLevelTracker::Add(int level) {
  level = std::clamp(level, -127, 127);
  const int oldest = ring_[static_cast<size_t>(position_)];
  --histogram_[static_cast<size_t>(oldest + 128)];
  if (oldest >= quantile_) --atOrAbove_;
  ring_[static_cast<size_t>(position_)] = static_cast<int8_t>(level);
  ++histogram_[static_cast<size_t>(level + 128)];
  if (level >= quantile_) ++atOrAbove_;
  position_ = (position_ + 1) % kRingSize;

  while (atOrAbove_ <= kQuantileCount && quantile_ > -127) {
    --quantile_;
    atOrAbove_ += Count(quantile_);
  }
  while (atOrAbove_ - Count(quantile_) > kQuantileCount && quantile_ < 127) {
    atOrAbove_ -= Count(quantile_);
    ++quantile_;
  }
  Smooth();
}

void LLevelTracker::Advance() {
  position_ = (position_ + 1) % kRingSize;
  Smooth();
}

void LLevelTracker::Smooth() {
  const int entry = Oldest();
  if (entry > rounded_ && quantile_ > rounded_ && upper_ > rounded_) {
    smoothed_ += (quantile_ - smoothed_) / 12.0;
  } else if (entry < rounded_ && quantile_ < rounded_ && lower_ < rounded_) {
    smoothed_ += (quantile_ - smoothed_) / 50.0;
  } else {
    return;
  }
  rounded_ = static_cast<int>(std::clamp(std::lround(smoothed_), -127L, 127L));
}

LVolumeCurve BuildVolumeCurve(int lowKnee, int highKnee, double slope) {
  LVolumeCurve curve{};
  const double atHighKnee = highKnee * slope;
  for (int level = -128; level <= 127; ++level) {
    double gain;
    if (level < lowKnee) {
      gain = lowKnee * slope;
    } else if (level <= highKnee) {
      gain = level * slope;
    } else {
      gain = atHighKnee - (level - highKnee);
    }
    curve[static_cast<size_t>(level + 128)] = static_cast<int8_t>(std::clamp(std::lround(gain), -128L, 127L));
  }
  return curve;
}

}  // namespace klangor
