// The wave window's real widgets on the offscreen platform: selecting with the mouse (press,
// move, release, with and without Shift, past an edge, double click), the columns against
// the computation without widgets after zooming and scrolling, an edit that recomputes only
// its columns, crisp columns at the screen's device-pixel ratio (ctest runs this program at
// 1, 1.5 and 2), and awkward sounds and sizes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "frame/view_commands.h"
#include "store/sound_document.h"
#include "store/wave_columns.h"
#include "support/test_env.h"
#include "ui/qt_test_app.h"
#include "support/test_streams.h"
#include "ui/wave_control.h"
#include "ui/wave_view.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace klangor {
namespace {

using test::App;
using test::WaitFor;


// A stereo sound: a sine on the left whose level rises over the sound, silence on the right
// for its second half.
LSegmentList Music(int32_t frames) {
  std::vector<int32_t> samples;
  samples.reserve(static_cast<size_t>(frames) * 2);
  for (int32_t i = 0; i < frames; ++i) {
    const double level = 400000.0 * (i + 1) / frames;
    samples.push_back(static_cast<int32_t>(level * std::sin(i * 0.05)));
    samples.push_back(i < frames / 2 ? static_cast<int32_t>(200000 * std::sin(i * 0.013)) : 0);
  }
  return test::MakeSound(44100, 2, samples);
}

struct WaveViewTest : ::testing::Test {
  WaveViewTest() {
    App();
    document = MakeRef<LSoundDocument>();
    document->sound = Music(200000);
    document->visibleEnd = document->Length();
  }
  void Show(int width = 620, int height = 300) {
    view = std::make_unique<LWaveDocumentView>(document, nullptr);
    view->resize(width, height);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    Settle();
  }
  void Settle() {
    ASSERT_TRUE(WaitFor([&] { return view->MainView().Complete() && view->Overview().Complete(); }));
    QApplication::processEvents();
  }
  // The logical x inside the main view of a column's middle.
  int XOf(int32_t column) const {
    return static_cast<int>(std::lround(view->MainView().XOfColumn(column) + 0.5 / view->MainView().devicePixelRatioF()));
  }
  int64_t FrameAtX(int x) const {
    const LWaveControl& main = view->MainView();
    return std::clamp<int64_t>(main.Geometry().ColumnToFrame(main.ColumnAt(x)), 0, document->Length());
  }
  // The columns as the computation without widgets gives them for the main view's geometry.
  std::vector<uint8_t> Expected(bool split = false) const {
    const LWaveGeometry& g = view->MainView().Geometry();
    LColumnSnapshot snapshot(document->sound);
    std::vector<uint8_t> top(static_cast<size_t>(g.Width())), bottom(top.size());
    ComputeColumns(snapshot, g.Map(), {.split = split, .magnify = false, .visibleFrames = g.VisibleLength(), .width = g.Width()},
                   0, g.Width(), {top.data(), bottom.data()});
    return top;
  }

  LRef<LSoundDocument> document;
  std::unique_ptr<LWaveDocumentView> view;
};

TEST_F(WaveViewTest, MouseSelectsOnTheRealWidget) {
  Show();
  LWaveControl& main = view->MainView();
  int selections = 0;
  view->SetHooks({.run = {}, .available = {}, .selectionChanged = [&] { ++selections; }});
  const int y = main.height() / 2;

  QTest::mousePress(&main, Qt::LeftButton, {}, QPoint(100, y));
  EXPECT_EQ(document->cursor, FrameAtX(100));
  QTest::mouseMove(&main, QPoint(250, y));
  EXPECT_EQ(document->selectionEnd, FrameAtX(250));  // the time fields follow the drag
  QTest::mouseRelease(&main, Qt::LeftButton, {}, QPoint(300, y));
  EXPECT_EQ(document->selectionStart, FrameAtX(100));
  EXPECT_EQ(document->selectionEnd, FrameAtX(300));
  EXPECT_EQ(document->cursor, FrameAtX(100));
  EXPECT_GT(selections, 0);

  // Shift+click extends from the pivot to the left and to the right.
  QTest::mouseClick(&main, Qt::LeftButton, Qt::ShiftModifier, QPoint(40, y));
  EXPECT_EQ(document->selectionStart, FrameAtX(40));
  EXPECT_EQ(document->selectionEnd, FrameAtX(100));
  QTest::mouseClick(&main, Qt::LeftButton, Qt::ShiftModifier, QPoint(500, y));
  EXPECT_EQ(document->selectionStart, FrameAtX(100));
  EXPECT_EQ(document->selectionEnd, FrameAtX(500));

  // Grabbing the end edge moves only the end.
  QTest::mousePress(&main, Qt::LeftButton, {}, QPoint(500, y));
  QTest::mouseMove(&main, QPoint(420, y));
  QTest::mouseRelease(&main, Qt::LeftButton, {}, QPoint(420, y));
  EXPECT_EQ(document->selectionStart, FrameAtX(100));
  EXPECT_EQ(document->selectionEnd, FrameAtX(420));

  // A plain click leaves an empty selection at the click.
  QTest::mouseClick(&main, Qt::LeftButton, {}, QPoint(300, y));
  EXPECT_FALSE(document->HasSelection());
  EXPECT_EQ(document->cursor, FrameAtX(300));

  // A double click selects the whole sound.
  QTest::mouseDClick(&main, Qt::LeftButton, {}, QPoint(300, y));
  EXPECT_EQ(document->selectionStart, 0);
  EXPECT_EQ(document->selectionEnd, document->Length());
}

TEST_F(WaveViewTest, DraggingPastTheRightEdgeScrollsTheView) {
  SetVisibleRange(*document, 0, 20000);
  Show();
  LWaveControl& main = view->MainView();
  const int y = main.height() / 2;
  const int64_t pivot = FrameAtX(200);
  QTest::mousePress(&main, Qt::LeftButton, {}, QPoint(200, y));
  QTest::mouseMove(&main, QPoint(main.width() + 20, y));
  ASSERT_TRUE(WaitFor([&] { return document->visibleStart > 5000; }, 5000));
  QTest::mouseRelease(&main, Qt::LeftButton, {}, QPoint(main.width() + 20, y));
  const int32_t start = document->visibleStart;
  // The selection reaches the frame under the mouse, just past the view's end.
  EXPECT_GE(document->selectionEnd, document->visibleEnd);
  EXPECT_EQ(document->selectionStart, pivot);
  QTest::qWait(200);
  EXPECT_EQ(document->visibleStart, start);  // released: the scrolling stops
}

TEST_F(WaveViewTest, WheelKeysAndTheOverviewMoveTheView) {
  SetVisibleRange(*document, 0, 20000);
  Show();
  LWaveControl& main = view->MainView();
  // The wheel scrolls by a tenth of the view; Page Down by a page, Page Up back.
  QWheelEvent wheel(QPointF(50, 50), main.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&main, &wheel);
  EXPECT_EQ(document->visibleStart, 2000);
  main.setFocus();
  QTest::keyClick(&main, Qt::Key_PageDown);
  EXPECT_EQ(document->visibleStart, 22000);
  QTest::keyClick(&main, Qt::Key_PageUp);
  EXPECT_EQ(document->visibleStart, 2000);
  EXPECT_EQ(view->ScrollBar().value(), 2000);
  // A click in the overview puts the cursor there and brings the view to it.
  LWaveControl& overview = view->Overview();
  const int x = overview.width() * 3 / 4;
  QTest::mouseClick(&overview, Qt::LeftButton, {}, QPoint(x, overview.height() / 2));
  const int64_t frame = overview.Geometry().ColumnToFrame(overview.ColumnAt(x));
  EXPECT_EQ(document->cursor, frame);
  EXPECT_LE(document->visibleStart, frame);
  EXPECT_GT(document->visibleEnd, frame);
  EXPECT_EQ(main.Geometry().ViewStart(), document->visibleStart);
}

TEST_F(WaveViewTest, ColumnsMatchTheComputationAfterZoomAndScroll) {
  Show();
  // From the peak files: a run that was restarted part way reads its first peak group anew,
  // which may lift a column's bar by a group's peak; nearly every column is the same.
  const std::vector<uint8_t> expected = Expected();
  int differing = 0;
  for (size_t c = 0; c < expected.size(); ++c) differing += view->MainView().Top()[c] != expected[c];
  EXPECT_LE(differing, 2);
  // Zoomed in to the samples, then scrolled by less than the width: the columns that stay are
  // shifted, the new ones computed, and together they are what a fresh computation gives.
  SetVisibleRange(*document, 50000, 50000 + 100 * view->MainView().Geometry().Width());
  view->Refresh();
  Settle();
  EXPECT_EQ(view->MainView().Top(), Expected());
  const QScrollBar& bar = view->ScrollBar();
  EXPECT_EQ(bar.value(), 50000);
  ScrollView(*document, 17000);
  view->Refresh();
  Settle();
  EXPECT_EQ(view->MainView().Top(), Expected());
  EXPECT_EQ(bar.value(), 67000);
  // Split channels: the right channel is silent in the second half.
  document->displayMode = 1;
  SetVisibleRange(*document, 0, document->Length());
  view->Refresh();
  Settle();
  const std::vector<uint8_t>& bottom = view->MainView().Bottom();
  EXPECT_GT(bottom[bottom.size() / 4], 0);
  EXPECT_EQ(bottom[bottom.size() * 3 / 4], 0);
}

TEST_F(WaveViewTest, AnEditRecomputesOnlyItsColumns) {
  Show();
  LWaveControl& main = view->MainView();
  const std::vector<uint8_t> before = main.Top();
  const int32_t width = main.Geometry().Width();
  // Silence over a tenth of the sound in the middle.
  document->sound.DeleteRange(100000, 120000);
  document->sound.InsertSilence(100000, 20000);
  view->Refresh();
  const int32_t a = main.Geometry().FrameToColumn(100000);
  const int32_t b = main.Geometry().FrameToColumn(120000);
  EXPECT_LE(main.InvalidColumns(), b - a + 4);
  Settle();
  const std::vector<uint8_t>& after = main.Top();
  for (int32_t c = 0; c < width; ++c) {
    if (c < a - 1 || c > b + 1) {
      EXPECT_EQ(after[c], before[c]) << c;
    }
    if (c > a + 1 && c < b - 1) {
      EXPECT_EQ(after[c], 0) << c;
    }
  }
}

TEST_F(WaveViewTest, CrispColumnsAtTheDevicePixelRatio) {
  Show(500, 240);
  LWaveControl& main = view->MainView();
  const double ratio = main.devicePixelRatioF();
  // One column per device pixel, however wide the screen.
  EXPECT_EQ(main.Geometry().Width(), std::lround((main.width() - 2) * ratio));
  const QImage picture = main.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const int rows = static_cast<int>(std::lround((main.height() - 2) * ratio));
  const int top = static_cast<int>(std::lround(ratio));  // below the one-pixel border
  const int left = top;
  const int32_t cursorColumn = main.Geometry().FrameToColumn(document->cursor);
  for (int32_t c = 20; c < main.Geometry().Width() - 4; c += 7) {
    if (std::abs(c - cursorColumn) < 20) continue;
    // The green bar of column c reaches exactly up to the centre minus its height.
    const int up = static_cast<int>((int64_t{main.Top()[c]} * rows) >> 9);
    int green = 0;
    for (int y = 0; y < rows / 2; ++y) {
      if (picture.pixel(left + c, top + y) == qRgb(102, 255, 102)) ++green;
    }
    EXPECT_EQ(green, up) << "column " << c << " at ratio " << ratio;
  }
}

TEST_F(WaveViewTest, AwkwardSoundsAndSizes) {
  // 0 frames, 1 frame, and the largest length, at 1 and 10000 pixels.
  LSegmentList largest = Music(44100);
  largest.RepeatRange(0, 44100, INT32_MAX / 44100);
  largest.InsertSilence(largest.Length(), INT32_MAX);
  for (LSegmentList sound : {LSegmentList(44100, 1), Music(1), largest}) {
    document->sound = sound;
    document->visibleStart = 0;
    document->visibleEnd = document->Length();
    document->cursor = document->Length() / 2;
    Show();
    for (QSize size : {QSize(1, 1), QSize(10000, 400), QSize(300, 200)}) {
      view->resize(size);
      QApplication::processEvents();
      Settle();
      view->MainView().grab();
    }
    ZoomIn(*document);
    view->Refresh();
    Settle();
  }
  // More than one pixel per frame: every column shows the frame under it, so a sound without
  // zeros draws no empty columns.
  document->sound = test::MakeSound(44100, 1, std::vector<int32_t>(500, 300000));
  SetVisibleRange(*document, 0, 100);
  Show(1000, 200);
  for (uint8_t height : view->MainView().Top()) ASSERT_EQ(height, 300000 >> 11);
}

}  // namespace
}  // namespace klangor
