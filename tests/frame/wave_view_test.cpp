// The wave window's arithmetic without a window: frames and columns, what a new view keeps,
// the mouse rules of selecting, the zoom and scroll steps, cursor placement, and the view
// commands on a frame without windows.

#include <gtest/gtest.h>

#include <cmath>

#include "frame/headless_frame.h"
#include "frame/headless_ui.h"
#include "frame/view_commands.h"
#include "frame/wave_geometry.h"
#include "frame/wave_mouse.h"
#include "settings/settings_store.h"
#include "store/sound_document.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using Notices = std::vector<LWaveNotice>;

LWaveGeometry Geometry(int32_t width, int64_t start, int64_t length) {
  LWaveGeometry geometry;
  geometry.SetWidth(width);
  geometry.SetView(start, length);
  return geometry;
}

TEST(WaveGeometryTest, FramesAndColumnsBothWays) {
  for (auto [width, start, length] : {std::tuple<int32_t, int64_t, int64_t>{1000, 0, 44100}, {3, 10, 80},
                                      {2000, 123456, 1587600000}, {640, 7, 50}}) {
    const LWaveGeometry g = Geometry(width, start, length);
    const double scale = std::max(width, 8) / static_cast<double>(length);
    EXPECT_DOUBLE_EQ(g.Scale(), scale);
    const auto origin = static_cast<int64_t>(start * scale);
    EXPECT_EQ(g.Origin(), origin);
    for (int64_t frame : {start, start + length / 3, start + length - 1}) {
      const int64_t column = static_cast<int64_t>(std::trunc(frame * scale)) - origin;
      EXPECT_EQ(g.FrameToColumn(frame), std::min<int64_t>(column, width)) << frame;
      // The column's first frame is at or before the frame, the next column's after it (at
      // most one frame per column: zoomed in further, neighbours may show the same frame).
      EXPECT_LE(g.ColumnToFrame(column), frame);
      if (scale <= 1) {
        EXPECT_GT(g.ColumnToFrame(column + 1), frame);
      } else {
        EXPECT_GE(g.ColumnToFrame(column + 1), frame);
      }
    }
    EXPECT_EQ(g.FrameToColumn(start - length), -1);
    EXPECT_EQ(g.FrameToColumn(start + 10 * length), width);
  }
  LWaveGeometry none;
  EXPECT_EQ(none.FrameToColumn(100), -1);
  EXPECT_EQ(none.ColumnToFrame(5), 5);  // the initial scale of 1
}

TEST(WaveGeometryTest, ANewViewKeepsWhatItCan) {
  LWaveGeometry g = Geometry(500, 10000, 50000);  // 100 frames per column
  // Scrolling right by 30 columns moves the content 30 columns left.
  LViewChange change = g.SetView(13000, 50000);
  EXPECT_FALSE(change.recomputeAll);
  EXPECT_EQ(change.shift, -30);
  change = g.SetView(12000, 50000);
  EXPECT_EQ(change.shift, 10);
  EXPECT_FALSE(g.SetView(12000, 50000).Any());
  // A whole width or more, another length or another width: everything again.
  EXPECT_TRUE(g.SetView(12000 + 500 * 100, 50000).recomputeAll);
  EXPECT_TRUE(g.SetView(12000, 40000).recomputeAll);
  g.SetWidth(600);
  EXPECT_EQ(g.Origin(), static_cast<int64_t>(12000 * (600.0 / 40000)));
  EXPECT_TRUE(g.SetView(0, 0).recomputeAll);
  EXPECT_FALSE(g.HasView());
}

// A control of 100 columns over frames 0..1000 (10 frames per column), 40 rows high.
struct MouseTest : ::testing::Test {
  LWaveGeometry g = Geometry(100, 0, 1000);
  LWaveMouse mouse;
  MouseTest() { mouse.soundEnd = 1000; }
};

TEST_F(MouseTest, GrabbingAnEdgeMovesOnlyThatEdge) {
  mouse.selectionStart = 300;
  mouse.selectionEnd = 600;
  EXPECT_EQ(mouse.Pointer(g, 30), LWavePointer::kSizeHorizontal);
  EXPECT_EQ(mouse.Pointer(g, 45), LWavePointer::kArrow);
  // Zoomed in (below 3 columns per 6 frames) the reach is 6 frames.
  LWaveGeometry close = Geometry(100, 295, 100);
  EXPECT_EQ(mouse.Pointer(close, close.FrameToColumn(306)), LWavePointer::kSizeHorizontal);
  EXPECT_EQ(mouse.Pointer(close, close.FrameToColumn(308)), LWavePointer::kArrow);

  mouse.Press(g, 61, 10, 40, false);  // frame 610: the end edge
  EXPECT_EQ(mouse.pivot, 300);
  EXPECT_EQ(mouse.cursor, 300);
  EXPECT_EQ(mouse.Pointer(g, 61), LWavePointer::kSizeHorizontal);
  mouse.Move(g, 80, 10, false);
  EXPECT_EQ(mouse.selectionStart, 300);
  EXPECT_EQ(mouse.selectionEnd, 800);
  mouse.Move(g, 20, 10, false);  // across the other edge
  EXPECT_EQ(mouse.selectionStart, 200);
  EXPECT_EQ(mouse.selectionEnd, 300);
  mouse.Release(g, 20, 10, false);
  EXPECT_EQ(mouse.Pointer(g, 50), LWavePointer::kArrow);
}

TEST_F(MouseTest, DraggingPastTheEdgesAndClamping) {
  mouse.Press(g, 50, 10, 40, false);
  EXPECT_EQ(mouse.Move(g, 100, 10, false), Notices{LWaveNotice::kPastRightBegan});
  EXPECT_EQ(mouse.DragState(), 4);
  EXPECT_EQ(mouse.Move(g, 140, 10, false), Notices{});
  EXPECT_EQ(mouse.selectionEnd, 1000);  // not past the sound
  EXPECT_EQ(mouse.Move(g, 0, 10, false), (Notices{LWaveNotice::kPastRightEnded, LWaveNotice::kPastLeftBegan}));
  EXPECT_EQ(mouse.Move(g, -30, 10, false), Notices{});
  EXPECT_EQ(mouse.selectionStart, 0);  // negative x counts as 0
  EXPECT_EQ(mouse.Release(g, -30, 10, false), (Notices{LWaveNotice::kPastLeftEnded, LWaveNotice::kSelectionDone}));
  EXPECT_EQ(mouse.DragState(), 0);
  // With Shift held only the selection is finished.
  mouse.Press(g, 50, 10, 40, false);
  mouse.Move(g, 120, 10, false);
  EXPECT_EQ(mouse.Release(g, 120, 10, true), Notices{LWaveNotice::kSelectionDone});
  // Moves without the button do nothing.
  EXPECT_EQ(mouse.Move(g, 130, 10, false), Notices{});
}

TEST_F(MouseTest, DraggingAMark) {
  mouse.marks = {250, 800};
  mouse.selectionStart = 100;
  mouse.selectionEnd = 150;
  mouse.Press(g, 26, 10, 40, false);  // near the mark, but not in the bottom rows: a selection
  mouse.Release(g, 26, 10, false);
  EXPECT_EQ(mouse.selectionStart, 260);
  mouse.Press(g, 78, 36, 40, false);
  EXPECT_EQ(mouse.DraggedMark(), 1);
  mouse.Move(g, 60, 36, false);
  EXPECT_EQ(mouse.marks[1], 600);
  EXPECT_EQ(mouse.Release(g, 65, 36, false), Notices{LWaveNotice::kMarkMoved});
  EXPECT_EQ(mouse.marks[1], 650);
  EXPECT_EQ(mouse.selectionStart, 260);  // the selection stays
  EXPECT_EQ(mouse.DraggedMark(), -1);
}

LRef<LSoundDocument> Silent(int32_t frames) {
  auto document = MakeRef<LSoundDocument>();
  document->sound.Append(LSegment::Silence(frames));
  document->visibleEnd = frames;
  return document;
}

TEST(ViewCommandsTest, ZoomAndScrollSteps) {
  LRef<LSoundDocument> d = Silent(100000);
  d->visibleStart = 1000;
  d->visibleEnd = 1150;
  d->cursor = 1100;
  ZoomIn(*d);  // half of 150 is below 100 frames
  EXPECT_EQ(d->visibleStart, 1050);
  EXPECT_EQ(d->visibleEnd, 1150);
  ZoomOut(*d);  // span 200, a quarter of it to the left
  EXPECT_EQ(d->visibleStart, 1000);
  EXPECT_EQ(d->visibleEnd, 1200);
  d->cursor = 99990;
  ZoomIn(*d);  // at the end the span stays
  EXPECT_EQ(d->visibleEnd, 100000);
  EXPECT_EQ(d->visibleStart, 100000 - 100);
  for (int i = 0; i < 20; ++i) ZoomOut(*d);
  EXPECT_EQ(d->visibleStart, 0);
  EXPECT_EQ(d->visibleEnd, 100000);

  EXPECT_FALSE(ZoomToSelection(*d));
  d->SetSelection(500, 700, 500);
  EXPECT_TRUE(ZoomToSelection(*d));
  EXPECT_EQ(d->visibleStart, 500);
  EXPECT_EQ(d->visibleEnd, 700);
  ScrollView(*d, -1000);
  EXPECT_EQ(d->visibleStart, 0);
  EXPECT_EQ(d->visibleEnd, 200);
  ScrollView(*d, 1000000);
  EXPECT_EQ(d->visibleStart, 99800);
  EXPECT_EQ(d->visibleEnd, 100000);
  EXPECT_EQ(ScrollStep(*d, 10), 20);
  ZoomAll(*d);
  EXPECT_EQ(d->visibleEnd - d->visibleStart, 100000);

  // The cursor pages the view along; within the view the view stays.
  SetVisibleRange(*d, 0, 1000);
  PlaceCursor(*d, 500);
  EXPECT_EQ(d->visibleStart, 0);
  PlaceCursor(*d, 1000);
  EXPECT_EQ(d->visibleStart, 1000);
  EXPECT_EQ(d->visibleEnd, 2000);
  PlaceCursor(*d, 200);
  EXPECT_EQ(d->visibleStart, 0);
  EXPECT_EQ(d->visibleEnd, 1000);
  PlaceCursor(*d, -5);
  EXPECT_EQ(d->cursor, 0);
  PlaceCursor(*d, 200000);
  EXPECT_EQ(d->cursor, 100000);
  EXPECT_EQ(d->visibleEnd, 100000);

  // An empty sound shows one second and zooms nowhere.
  LRef<LSoundDocument> empty = Silent(0);
  ZoomIn(*empty);
  ZoomOut(*empty);
  ZoomAll(*empty);
  EXPECT_EQ(empty->visibleStart, 0);
  EXPECT_EQ(empty->visibleEnd, 44100);
  // The largest length zooms out to all of it without overflowing.
  LRef<LSoundDocument> largest = Silent(INT32_MAX);
  SetVisibleRange(*largest, INT32_MAX - 10, INT32_MAX);
  for (int i = 0; i < 40; ++i) ZoomOut(*largest);
  EXPECT_EQ(largest->visibleStart, 0);
  EXPECT_EQ(largest->visibleEnd, INT32_MAX);
}

TEST(ViewCommandsTest, CommandsRedrawTheActiveWindow) {
  LHeadlessFrame frame;
  LHeadlessUi ui;
  LSettingsStore settings(test::TempPath(".ini"), test::TempPath(".ini"));
  LCommandTable table;
  AddViewCommands(table);
  LCommandContext context{frame, ui, settings};
  EXPECT_TRUE(table.Dispatch(kCmdZoomIn, context));  // without a document: nothing
  EXPECT_TRUE(frame.requests.empty());

  frame.OpenDocument(Silent(10000));
  LSoundDocument& d = *frame.ActiveDocument();
  frame.requests.clear();
  table.Dispatch(kCmdZoomIn, context);
  EXPECT_EQ(d.visibleEnd - d.visibleStart, 5000);
  EXPECT_EQ(frame.requests, (std::vector<std::string>{"RedrawDocument", "RefreshBars"}));
  table.Dispatch(kCmdVerticalZoom, context);
  EXPECT_TRUE(d.verticalZoom);
  table.Dispatch(kCmdDisplayLanes, context);
  EXPECT_EQ(d.displayMode, 2);
  table.Dispatch(kCmdDisplaySplit, context);
  EXPECT_EQ(d.displayMode, 1);
  table.Dispatch(kCmdDisplayCombined, context);
  EXPECT_EQ(d.displayMode, 0);
  table.Dispatch(kCmdZoomAll, context);
  EXPECT_EQ(d.visibleEnd - d.visibleStart, 10000);

  // The player's position report moves the cursor and pages the view.
  SetVisibleRange(d, 0, 1000);
  frame.requests.clear();
  frame.ShowPlayPosition(d, 4321);
  EXPECT_EQ(d.cursor, 4321);
  EXPECT_EQ(d.visibleStart, 4321);
  EXPECT_EQ(frame.requests, (std::vector<std::string>{"RedrawDocument"}));
}

}  // namespace
}  // namespace klangor
