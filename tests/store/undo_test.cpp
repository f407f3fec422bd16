// The undo ring of a document: undo and redo bring back sound, positions and the modified flag,
// the menu texts, the ring's wrap and limits, and the blocks the snapshots hold.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "store/block_store.h"
#include "store/sound_document.h"
#include "store/undo.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

// A document state as undo and redo must bring it back.
struct LState {
  std::vector<uint16_t> blocks;
  int32_t length;
  bool modified;
  int32_t selectionStart, selectionEnd, cursor, visibleStart, visibleEnd;
  bool operator==(const LState&) const = default;
};

LState StateOf(const LSoundDocument& document) {
  LState state{{}, document.Length(), document.modified, document.selectionStart, document.selectionEnd,
               document.cursor, document.visibleStart, document.visibleEnd};
  for (const LSegment& segment : document.sound.Segments()) state.blocks.push_back(segment.Block());
  return state;
}

// Stands for an edit: a new sound of `frames` frames in a block of its own, new positions.
void Edit(LSoundDocument& document, int32_t frames) {
  document.sound = test::MakeSound(8000, 1, std::vector<int32_t>(static_cast<size_t>(frames), frames));
  document.modified = true;
  document.SetSelection(frames / 4, frames / 2, frames / 3);
  document.visibleStart = 1;
  document.visibleEnd = frames;
}

// Pushes `name` and makes the edit; returns the state after it.
LState PushAndEdit(LSoundDocument& document, const std::string& name, int32_t frames) {
  PushUndo(document, name);
  Edit(document, frames);
  return StateOf(document);
}

TEST(UndoTest, OneEditUndoneAndRedone) {
  LSoundDocument document;
  Edit(document, 100);
  document.modified = false;  // just saved
  const LState before = StateOf(document);
  const LState after = PushAndEdit(document, "Schneiden", 200);
  EXPECT_EQ(UndoMenuText(document), "Rückgängig Schneiden\tCtrl+Z");
  EXPECT_TRUE(CanUndo(document));
  EXPECT_FALSE(CanRedo(document));

  ASSERT_TRUE(Undo(document));
  EXPECT_EQ(StateOf(document), before);  // the modified flag is 0 again, as after the save
  EXPECT_EQ(document.undo.At(2).name, "Redo");
  EXPECT_EQ(RedoMenuText(document), "Wiederholen Schneiden\tCtrl+Y");
  EXPECT_EQ(UndoMenuText(document), "Rückgängig \tCtrl+Z");
  EXPECT_FALSE(CanUndo(document));
  EXPECT_FALSE(Undo(document));

  ASSERT_TRUE(Redo(document));
  EXPECT_EQ(StateOf(document), after);
  EXPECT_FALSE(Redo(document));
  EXPECT_EQ(RedoMenuText(document), "Wiederholen \tCtrl+Y");
  EXPECT_EQ(UndoMenuText(document), "Rückgängig Schneiden\tCtrl+Z");
}

TEST(UndoTest, TwoEditsUndoneAndRedoneInOrderAndANewEditEndsRedo) {
  LSoundDocument document;
  Edit(document, 100);
  const LState start = StateOf(document);
  const LState afterA = PushAndEdit(document, "A", 200);
  const LState afterB = PushAndEdit(document, "B", 300);
  ASSERT_TRUE(Undo(document));
  EXPECT_EQ(StateOf(document), afterA);
  EXPECT_EQ(RedoMenuText(document), "Wiederholen B\tCtrl+Y");
  ASSERT_TRUE(Undo(document));
  EXPECT_EQ(StateOf(document), start);
  EXPECT_EQ(RedoMenuText(document), "Wiederholen A\tCtrl+Y");
  ASSERT_TRUE(Redo(document));
  EXPECT_EQ(StateOf(document), afterA);
  ASSERT_TRUE(Redo(document));
  EXPECT_EQ(StateOf(document), afterB);
  EXPECT_FALSE(Redo(document));
  // Undo after redo goes back again without a second "Redo" snapshot.
  ASSERT_TRUE(Undo(document));
  EXPECT_EQ(StateOf(document), afterA);
  // A new edit after an undo ends what could be redone.
  PushAndEdit(document, "C", 400);
  EXPECT_FALSE(CanRedo(document));
  EXPECT_FALSE(Redo(document));
  EXPECT_EQ(UndoMenuText(document), "Rückgängig C\tCtrl+Z");
}

TEST(UndoTest, AtMostFiveEditsUndoInARowAcrossTheRingsWrap) {
  LSoundDocument document;
  document.undo.index = 6;  // the ring wraps during the test
  Edit(document, 10);
  std::vector<LState> states{StateOf(document)};
  for (int i = 1; i <= 6; ++i) states.push_back(PushAndEdit(document, "E" + std::to_string(i), 10 + i));
  for (int i = 5; i >= 1; --i) {
    ASSERT_TRUE(Undo(document)) << i;
    EXPECT_EQ(StateOf(document), states[static_cast<size_t>(i)]);
  }
  EXPECT_FALSE(Undo(document));
  for (int i = 2; i <= 6; ++i) {
    ASSERT_TRUE(Redo(document)) << i;
    EXPECT_EQ(StateOf(document), states[static_cast<size_t>(i)]);
  }
  EXPECT_FALSE(Redo(document));
}

TEST(UndoTest, SlotsHoldBlocksUntilEmptiedAndTheDocumentReleasesAll) {
  LBlockStore& store = LBlockStore::Instance();
  auto document = MakeRef<LSoundDocument>();
  Edit(*document, 100);
  const uint16_t first = document->sound.Segments()[0].Block();
  const std::string firstFile = store.FileName(first, LBlockFile::kAudio);
  PushAndEdit(*document, "A", 200);
  const uint16_t second = document->sound.Segments()[0].Block();
  const std::string secondFile = store.FileName(second, LBlockFile::kAudio);
  EXPECT_EQ(store.ReferenceCount(first), 1);  // only the snapshot holds the first sound
  ASSERT_TRUE(Undo(*document));
  EXPECT_EQ(store.ReferenceCount(first), 2);   // document and snapshot
  EXPECT_EQ(store.ReferenceCount(second), 1);  // the "Redo" snapshot
  PushUndo(*document, "B");  // empties the slots ahead: the undone edit is gone for good
  EXPECT_EQ(store.ReferenceCount(second), 0);
  EXPECT_FALSE(FileExists(secondFile));
  EXPECT_EQ(store.ReferenceCount(first), 2);
  document.Reset();
  EXPECT_EQ(store.ReferenceCount(first), 0);
  EXPECT_FALSE(FileExists(firstFile));
}

size_t BlockFilesOnDisk() {
  size_t count = 0;
  for (const std::string& name : ListFolder(LBlockStore::Instance().BlockFolder())) {
    count += name.size() > 4 && name.compare(name.size() - 4, 4, ".aud") == 0 ? 1 : 0;
  }
  return count;
}

TEST(UndoTest, ManyPushesKeepOnlyTheRingsBlocks) {
  const size_t before = BlockFilesOnDisk();
  {
    LSoundDocument document;
    for (int i = 0; i < 30; ++i) {
      Edit(document, 50 + i);
      PushUndo(document, "E");
      ASSERT_TRUE(Undo(document));
      ASSERT_TRUE(Redo(document));
    }
    // Six snapshots at most (the document's sound is the newest of them).
    EXPECT_LE(BlockFilesOnDisk() - before, 6u);
  }
  EXPECT_EQ(BlockFilesOnDisk(), before);
}

TEST(UndoTest, NamesAreCutToTheirLimitAndABadIndexIsTakenModuloEight) {
  LSoundDocument document;
  std::string name;
  for (int i = 0; i < 300; ++i) name += "ü";
  PushUndo(document, name);
  EXPECT_EQ(document.undo.At(0).name.size(), 2 * kMaxUndoNameCharacters);
  document.undo.index = -13;
  PushUndo(document, "X");
  EXPECT_EQ(document.undo.index, 4);
  EXPECT_TRUE(Undo(document));

  EXPECT_EQ(CutToCharacters("abc", 2), "ab");
  EXPECT_EQ(CutToCharacters("aü", 2), "aü");
  EXPECT_EQ(CutToCharacters("\xff\xfe\xc3", 2), "\xff\xfe");  // stray bytes count one each
  EXPECT_EQ(CutToCharacters("\xc3\xbc\xe2\x82", 2), "\xc3\xbc\xe2");
  EXPECT_EQ(CutToCharacters("", 5), "");
}

}  // namespace
}  // namespace klangor
