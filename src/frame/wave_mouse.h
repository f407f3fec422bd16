#pragma once
// Selecting with the mouse in a waveform control, without the control: press, move and
// release in column coordinates, and what each does to the selection, the cursor, the
// bookmark being dragged and the owner's notifications.
//
// Press: with Shift the selection runs from the pivot to the frame under the mouse. Without
// it, a press on an edge of the selection (within 6 frames, or 3 columns when that is wider)
// grabs that edge (the other one becomes the pivot); a press on a mark (within 4 columns and
// in the bottom 6 rows) drags the mark; anywhere else pivot, start and end become the frame
// under the mouse. The cursor goes to the pivot. Move: the selection is the pivot and the
// frame under the mouse, ordered; leaving the control on the right (x at or past the width)
// or the left (x below 1) while the button is down begins a drag past that edge. Release:
// an open drag past an edge ends, the selection is set as on a move, and the selection is
// finished. Frames under the mouse are clamped to the sound.

#include <cstdint>
#include <vector>

#include "frame/wave_geometry.h"

namespace klangor {

enum class LWaveNotice {
  kSelectionDone = 2,    // the button was released: the owner takes the selection
  kPastRightBegan = 4,   // dragging past the right edge began
  kPastRightEnded = 5,
  kPastLeftBegan = 6,    // dragging past the left edge began
  kPastLeftEnded = 7,
  kMarkMoved = 11,       // a mark was dragged to a new place
};

enum class LWavePointer { kArrow, kSizeHorizontal };

class LWaveMouse {
 public:
  // What the control shows: its selection, cursor and sound end, and the bookmarks' frames.
  int64_t selectionStart = 0;
  int64_t selectionEnd = 0;
  int64_t pivot = 0;
  int64_t cursor = 0;
  int64_t soundEnd = 0;
  std::vector<int64_t> marks;

  // `height` is the control's height in rows. Each returns the notifications in order.
  std::vector<LWaveNotice> Press(const LWaveGeometry& geometry, int32_t x, int32_t y, int32_t height, bool shift);
  std::vector<LWaveNotice> Move(const LWaveGeometry& geometry, int32_t x, int32_t y, bool shift);
  std::vector<LWaveNotice> Release(const LWaveGeometry& geometry, int32_t x, int32_t y, bool shift);

  bool Captured() const { return captured_; }
  // The pointer shape over (x, y): the size pointer over an edge or while an edge is held.
  LWavePointer Pointer(const LWaveGeometry& geometry, int32_t x) const;
  // The mark being dragged, -1 for none.
  int DraggedMark() const { return draggedMark_; }
  // 0 none, 4 dragging past the right edge, 6 past the left edge.
  int DragState() const { return dragState_; }
  // The frame under column x (negative x counts as 0), within the sound.
  int64_t FrameAt(const LWaveGeometry& geometry, int32_t x) const;

 private:
  enum class LGrip { kNone, kStart, kEnd };
  LGrip EdgeAt(const LWaveGeometry& geometry, int32_t x) const;
  void Follow(const LWaveGeometry& geometry, int32_t x);
  void EdgeState(const LWaveGeometry& geometry, int32_t x, std::vector<LWaveNotice>& notices);

  bool captured_ = false;
  LGrip grip_ = LGrip::kNone;
  int draggedMark_ = -1;
  int dragState_ = 0;
};

}  // namespace klangor
