#pragma once
// The waveform control ("LKLWaveWindow"): one peak bar per device pixel column above and
// below a centre line, the selection, the cursor with its range, the bookmark marks, and
// selecting with the mouse. Its columns are computed on its own painter thread from a
// private copy of the sound and filled in as they arrive; after a scroll only the uncovered
// columns are computed, after an edit only those over the changed frames.
//
// Columns are device pixels: the arrays are as wide as the control is on the screen, at any
// device-pixel ratio, so the bars are crisp at 1, 1.5 and 2 and wide screens draw throughout.

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "frame/wave_geometry.h"
#include "frame/wave_mouse.h"
#include "store/wave_columns.h"
#include "ui/column_painter.h"

namespace klangor {

class LWaveControl final : public QWidget {
 public:
  explicit LWaveControl(QWidget* parent);
  ~LWaveControl() override;

  // Takes a private copy of `sound` to draw. Display mode 1 splits stereo channels into the
  // upper and lower bar, mode 2 draws them in two lanes; `magnify` draws 8 times larger.
  // `changed`: only the columns over these frames are computed again (all without it).
  void Bind(const LSegmentList& sound, int displayMode, bool magnify, std::optional<LFrameRange> changed = {});
  // Stops drawing the sound: the control shows itself disabled.
  void Unbind();
  const LSegmentList* BoundSound() const;
  int DisplayMode() const { return displayMode_; }
  bool Magnified() const { return options_.magnify; }

  void SetView(int64_t start, int64_t length);
  void SetCursor(int64_t frame, int64_t rangeLength = 0);
  void SetSelection(int64_t start, int64_t end);
  void SetDocumentEnd(int64_t end);
  void SetMarks(std::vector<int64_t> frames);
  // While the button is down: the selection follows the mouse again (after the view moved).
  void FollowMouse();
  // A frame drawn around the range another view shows (the overview strip); start >= end: none.
  void SetViewMarker(int64_t start, int64_t end);

  const LWaveGeometry& Geometry() const { return geometry_; }
  const LWaveMouse& Mouse() const { return mouse_; }
  // The mouse's column at a position in the control (device pixels from the left of the bars).
  int32_t ColumnAt(double x) const;
  // Logical x of the left edge of a column.
  double XOfColumn(int32_t column) const;
  // True when every column of the view is computed.
  bool Complete() const;
  // The columns still to be computed.
  int32_t InvalidColumns() const;
  // The computed heights (for tests and the benchmark).
  const std::vector<uint8_t>& Top() const { return top_; }
  const std::vector<uint8_t>& Bottom() const { return bottom_; }

  // The owner's notifications (selection done, dragging past an edge, mark moved); `selecting`
  // follows every change of the selection while the button is down.
  std::function<void(LWaveNotice)> notify;
  std::function<void()> selecting;
  std::function<void()> doubleClicked;
  std::function<void(QPoint globalPosition)> contextMenu;

  QSize sizeHint() const override { return {400, 120}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Relayout();
  void Invalidate(int32_t first, int32_t end);
  void InvalidateFrames(int64_t start, int64_t end);
  void Schedule();
  void Apply(const LColumnResult& result);
  void Shift(int32_t columns);
  void UpdateColumns(int32_t first, int32_t end);
  void UpdateFrames(int64_t a, int64_t b);
  void Render(int32_t first, int32_t end);
  void Notify(const std::vector<LWaveNotice>& notices);
  void ShowPointer(int32_t column);
  bool Shifted(const QMouseEvent* event) const;

  LWaveGeometry geometry_;
  LWaveMouse mouse_;
  std::vector<uint8_t> top_;
  std::vector<uint8_t> bottom_;
  std::vector<uint8_t> valid_;  // 1: the column holds the heights of the current view
  int32_t lastColumn_ = 0;       // where the mouse was last seen
  int32_t rows_ = 1;             // device pixel rows of the bars
  double ratio_ = 1.0;           // device pixels per logical pixel
  QImage canvas_;
  int64_t cursorRange_ = 0;
  int64_t markerStart_ = 0;
  int64_t markerEnd_ = 0;
  int displayMode_ = 0;
  int channels_ = 1;
  LColumnOptions options_;
  std::shared_ptr<LColumnSnapshot> snapshot_;
  uint64_t generation_ = 0;
  bool bound_ = false;
  std::unique_ptr<LColumnPainter> painter_;
};

}  // namespace klangor
