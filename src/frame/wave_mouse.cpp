#include "frame/wave_mouse.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace klangor {
namespace {

constexpr int64_t kEdgeFrames = 6;
constexpr int32_t kEdgeColumns = 3;
constexpr int32_t kMarkColumns = 4;
constexpr int32_t kMarkRows = 6;

}  // namespace

int64_t LWaveMouse::FrameAt(const LWaveGeometry& geometry, int32_t x) const {
  return std::clamp<int64_t>(geometry.ColumnToFrame(std::max(x, 0)), 0, std::max<int64_t>(soundEnd, 0));
}

LWaveMouse::LGrip LWaveMouse::EdgeAt(const LWaveGeometry& geometry, int32_t x) const {
  if (!geometry.HasView()) return LGrip::kNone;
  const int64_t frame = FrameAt(geometry, x);
  // Six frames, or a few columns when zoomed out so far that six frames are less than that.
  const int64_t reach = std::max<int64_t>(kEdgeFrames, static_cast<int64_t>(kEdgeColumns / geometry.Scale()));
  if (std::llabs(frame - selectionStart) <= reach) return LGrip::kStart;
  if (std::llabs(frame - selectionEnd) <= reach) return LGrip::kEnd;
  return LGrip::kNone;
}

void LWaveMouse::Follow(const LWaveGeometry& geometry, int32_t x) {
  const int64_t frame = FrameAt(geometry, x);
  selectionStart = std::min(pivot, frame);
  selectionEnd = std::max(pivot, frame);
}

void LWaveMouse::EdgeState(const LWaveGeometry& geometry, int32_t x, std::vector<LWaveNotice>& notices) {
  const int state = x >= geometry.Width() ? 4 : x < 1 ? 6 : 0;
  if (state == dragState_) return;
  if (dragState_ == 4) notices.push_back(LWaveNotice::kPastRightEnded);
  if (dragState_ == 6) notices.push_back(LWaveNotice::kPastLeftEnded);
  if (state == 4) notices.push_back(LWaveNotice::kPastRightBegan);
  if (state == 6) notices.push_back(LWaveNotice::kPastLeftBegan);
  dragState_ = state;
}

std::vector<LWaveNotice> LWaveMouse::Press(const LWaveGeometry& geometry, int32_t x, int32_t y, int32_t height,
                                           bool shift) {
  captured_ = true;
  grip_ = LGrip::kNone;
  draggedMark_ = -1;
  dragState_ = 0;
  const int64_t frame = FrameAt(geometry, x);
  if (shift) {
    Follow(geometry, x);
  } else if (LGrip edge = EdgeAt(geometry, x); edge != LGrip::kNone) {
    grip_ = edge;
    pivot = edge == LGrip::kStart ? selectionEnd : selectionStart;
  } else {
    for (size_t i = 0; i < marks.size(); ++i) {
      const int32_t column = geometry.FrameToColumn(marks[i]);
      if (column >= 0 && std::abs(column - x) <= kMarkColumns && y >= height - kMarkRows) {
        draggedMark_ = static_cast<int>(i);
        return {};
      }
    }
    pivot = frame;
    selectionStart = frame;
    selectionEnd = frame;
  }
  cursor = pivot;
  return {};
}

std::vector<LWaveNotice> LWaveMouse::Move(const LWaveGeometry& geometry, int32_t x, int32_t /*y*/, bool /*shift*/) {
  if (!captured_) return {};
  if (draggedMark_ >= 0) {
    marks[static_cast<size_t>(draggedMark_)] = FrameAt(geometry, x);
    return {};
  }
  std::vector<LWaveNotice> notices;
  EdgeState(geometry, x, notices);
  Follow(geometry, x);
  return notices;
}

std::vector<LWaveNotice> LWaveMouse::Release(const LWaveGeometry& geometry, int32_t x, int32_t /*y*/, bool shift) {
  if (!captured_) return {};
  captured_ = false;
  grip_ = LGrip::kNone;
  if (draggedMark_ >= 0) {
    marks[static_cast<size_t>(draggedMark_)] = FrameAt(geometry, x);
    draggedMark_ = -1;
    return {LWaveNotice::kMarkMoved};
  }
  std::vector<LWaveNotice> notices;
  if (shift) {
    dragState_ = 0;
  } else {
    if (dragState_ == 4) notices.push_back(LWaveNotice::kPastRightEnded);
    if (dragState_ == 6) notices.push_back(LWaveNotice::kPastLeftEnded);
    dragState_ = 0;
  }
  Follow(geometry, x);
  notices.push_back(LWaveNotice::kSelectionDone);
  return notices;
}

LWavePointer LWaveMouse::Pointer(const LWaveGeometry& geometry, int32_t x) const {
  if (captured_) return grip_ != LGrip::kNone ? LWavePointer::kSizeHorizontal : LWavePointer::kArrow;
  if (selectionStart >= selectionEnd) return LWavePointer::kArrow;
  return EdgeAt(geometry, x) != LGrip::kNone ? LWavePointer::kSizeHorizontal : LWavePointer::kArrow;
}

}  // namespace klangor
