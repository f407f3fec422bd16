#pragma once
// How a waveform control maps frames to its pixel columns and back, and what a new view does
// to the columns already computed.
//
// The view is a start frame and a visible length; scale = max(width, 8) / length pixels per
// frame and origin = trunc(start x scale). A new view of the same length moves the content by
// old origin - new origin columns: the columns that stay keep their heights and only the
// uncovered ones are computed again.

#include <cstdint>

#include "store/wave_columns.h"

namespace klangor {

// What a view change does to the computed columns.
struct LViewChange {
  bool recomputeAll = false;
  int32_t shift = 0;  // columns the content moves to the right (negative: to the left)
  bool Any() const { return recomputeAll || shift != 0; }
};

class LWaveGeometry {
 public:
  // Columns of the control (at least 1). A new width recomputes everything.
  void SetWidth(int32_t columns);
  int32_t Width() const { return width_; }

  LViewChange SetView(int64_t start, int64_t length);
  // No view: every frame maps to column -1.
  void ClearView();
  bool HasView() const { return length_ > 0; }
  int64_t ViewStart() const { return start_; }
  int64_t VisibleLength() const { return length_; }
  double Scale() const { return scale_; }
  int64_t Origin() const { return origin_; }

  // trunc(frame x scale) - origin; -1 without a view or when left of column 0; at most the width.
  int32_t FrameToColumn(int64_t frame) const;
  // trunc((column + origin) / scale); 0 when the scale is not positive.
  int64_t ColumnToFrame(int64_t column) const { return Map().FirstFrame(column); }
  LColumnMap Map() const { return {scale_, origin_}; }

 private:
  int32_t width_ = 1;
  int64_t start_ = 0;
  int64_t length_ = 0;
  double scale_ = 1.0;
  int64_t origin_ = 0;
};

}  // namespace klangor
