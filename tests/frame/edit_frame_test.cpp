// The steps every edit command shares, on a frame without windows: what begin-edit, undo and
// redo ask of the frame, in which order, and what they do to the document.

#include <gtest/gtest.h>

#include "frame/edit_frame.h"
#include "frame/headless_frame.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using Requests = std::vector<std::string>;

TEST(EditFrameTest, NothingHappensWithoutAnActiveDocument) {
  LHeadlessFrame frame;
  EXPECT_FALSE(BeginEdit(frame, "Schneiden"));
  EXPECT_FALSE(UndoCommand(frame));
  EXPECT_FALSE(RedoCommand(frame));
  EXPECT_TRUE(frame.requests.empty());
}

TEST(EditFrameTest, BeginEditUndoAndRedoDriveTheFrame) {
  LHeadlessFrame frame;
  auto opened = MakeRef<LSoundDocument>();
  frame.OpenDocument(opened);
  LSoundDocument& document = *frame.ActiveDocument();
  document.sound = test::MakeSound(8000, 1, std::vector<int32_t>(100, 1));
  document.SetSelection(10, 20, 10);
  frame.requests.clear();

  // Nothing to undo yet: playback still stops, nothing else happens.
  EXPECT_FALSE(UndoCommand(frame));
  EXPECT_EQ(frame.requests, (Requests{"StopPlayback"}));
  frame.requests.clear();

  ASSERT_TRUE(BeginEdit(frame, "Schneiden"));
  EXPECT_TRUE(document.modified);
  EXPECT_EQ(frame.requests, (Requests{"EnableSave 1", "RefreshUndoMenu"}));
  EXPECT_EQ(frame.undoMenu.undoText, "Rückgängig Schneiden\tCtrl+Z");
  EXPECT_TRUE(frame.undoMenu.undoEnabled);
  EXPECT_FALSE(frame.undoMenu.redoEnabled);
  document.sound.DeleteRange(10, 20);
  document.SetSelection(10, 10, 10);
  frame.requests.clear();

  ASSERT_TRUE(UndoCommand(frame));
  EXPECT_EQ(frame.requests, (Requests{"StopPlayback", "RefreshUndoMenu", "RedrawDocument"}));
  EXPECT_EQ(document.Length(), 100);
  EXPECT_EQ(document.selectionEnd, 20);
  EXPECT_FALSE(document.modified);
  EXPECT_EQ(frame.undoMenu.redoText, "Wiederholen Schneiden\tCtrl+Y");
  EXPECT_TRUE(frame.undoMenu.redoEnabled);
  EXPECT_FALSE(frame.undoMenu.undoEnabled);
  frame.requests.clear();

  ASSERT_TRUE(RedoCommand(frame));
  EXPECT_EQ(frame.requests, (Requests{"StopPlayback", "RefreshUndoMenu", "RedrawDocument"}));
  EXPECT_EQ(document.Length(), 90);
  EXPECT_TRUE(document.modified);
  EXPECT_FALSE(RedoCommand(frame));
}

}  // namespace
}  // namespace klangor
