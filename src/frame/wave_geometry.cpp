#include "frame/wave_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace klangor {

void LWaveGeometry::SetWidth(int32_t columns) {
  width_ = std::max(columns, 1);
  if (length_ > 0) {
    const int64_t start = start_;
    const int64_t length = length_;
    length_ = 0;  // a new scale: everything is computed again
    SetView(start, length);
  }
}

LViewChange LWaveGeometry::SetView(int64_t start, int64_t length) {
  if (length <= 0) {
    ClearView();
    return {.recomputeAll = true};
  }
  const double scale = static_cast<double>(std::max(width_, 8)) / static_cast<double>(length);
  const auto origin = static_cast<int64_t>(std::trunc(static_cast<double>(start) * scale));
  const bool sameScale = length == length_ && scale == scale_;
  const int64_t shift = origin_ - origin;
  start_ = start;
  length_ = length;
  scale_ = scale;
  origin_ = origin;
  if (!sameScale || std::llabs(shift) >= width_) return {.recomputeAll = true};
  return {.shift = static_cast<int32_t>(shift)};
}

void LWaveGeometry::ClearView() {
  start_ = 0;
  length_ = 0;
  scale_ = 1.0;
  origin_ = 0;
}

int32_t LWaveGeometry::FrameToColumn(int64_t frame) const {
  if (length_ <= 0) return -1;
  const int64_t column = static_cast<int64_t>(std::trunc(static_cast<double>(frame) * scale_)) - origin_;
  if (column < 0) return -1;
  return static_cast<int32_t>(std::min<int64_t>(column, width_));
}

}  // namespace klangor
