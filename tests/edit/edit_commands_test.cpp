// The commands of the "Bearbeiten" menu on a frame without windows: what each does to sound,
// selection and undo history, their dialogs, texts and requests, and random sequences of
// commands, undos and redos that must keep snapshots and block counts right.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "edit/edit_commands.h"
#include "edit/edit_dialogs.h"
#include "formats/wav_file.h"
#include "frame/command_steps.h"
#include "frame/headless_frame.h"
#include "frame/headless_ui.h"
#include "frame/time_text.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"
#include "store/undo.h"
#include "support/command_fixture.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using Requests = std::vector<std::string>;

// Frame i of the sound holds (i + 1) x 16, so every frame is recognisable.
std::vector<int32_t> Numbered(int32_t frames) {
  std::vector<int32_t> samples(static_cast<size_t>(frames));
  for (int32_t i = 0; i < frames; ++i) samples[static_cast<size_t>(i)] = (i + 1) * 16;
  return samples;
}

class EditCommandsTest : public test::LCommandFixture {
 protected:
  EditCommandsTest() : LCommandFixture("-edit") { AddEditCommands(table_); }

  // Opens a document of `frames` numbered frames at 44100 Hz mono.
  LSoundDocument& Open(int32_t frames) {
    LSoundDocument& document = OpenSound(test::MakeSound(44100, 1, Numbered(frames)));
    frame_.requests.clear();
    return document;
  }

  void Run(LEditCommandId id) { ASSERT_TRUE(table_.Dispatch(id, context_)); }

  std::vector<int32_t> Audio(const LSoundDocument& document) {
    return test::ReadAll(*OpenSegmentStream(document.sound));
  }
};

TEST_F(EditCommandsTest, CommandsNeedAnActiveDocument) {
  for (const auto& [id, command] : table_.Commands()) table_.Dispatch(id, context_);
  EXPECT_TRUE(frame_.requests.empty());
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_FALSE(table_.Dispatch(4242, context_));
}

TEST_F(EditCommandsTest, DeleteNeedsASelectionAndPlaysFromASecondBefore) {
  LSoundDocument& document = Open(100000);
  Run(LEditCommandId::kDelete);
  EXPECT_EQ(document.Length(), 100000);
  EXPECT_FALSE(CanUndo(document));

  document.SetSelection(50000, 60000, 0);
  Run(LEditCommandId::kDelete);
  EXPECT_EQ(document.Length(), 90000);
  EXPECT_EQ(Audio(document)[50000], 60001 * 16);
  EXPECT_EQ(document.selectionStart, 50000);
  EXPECT_EQ(document.selectionEnd, 50000);
  EXPECT_EQ(document.cursor, 50000 - 44100);
  EXPECT_TRUE(document.modified);
  EXPECT_EQ(frame_.undoMenu.undoText, "Rückgängig Löschen\tCtrl+Z");
  EXPECT_EQ(frame_.requests, (Requests{"StopPlayback", "EnableSave 1", "RefreshUndoMenu", "RedrawDocument",
                                       "Play 5900"}));
}

TEST_F(EditCommandsTest, TrimmingCommands) {
  LSoundDocument& document = Open(10000);
  settings_.Write(kAutoPlaybackAfterEffects, false);
  Run(LEditCommandId::kTrim);  // no selection: select all, then crop to all
  EXPECT_EQ(document.Length(), 10000);
  EXPECT_EQ(UndoMenuText(document), "Rückgängig Trimmem\tCtrl+Z");

  document.SetSelection(1000, 5000, 3000);
  Run(LEditCommandId::kTrimStart);
  EXPECT_EQ(document.Length(), 9000);
  EXPECT_EQ(Audio(document)[0], 1001 * 16);
  EXPECT_EQ(document.selectionStart, 1000);  // the selection stays as it was
  EXPECT_EQ(document.selectionEnd, 5000);
  EXPECT_EQ(document.cursor, 0);

  Run(LEditCommandId::kTrimEnd);
  EXPECT_EQ(document.Length(), 5000);
  EXPECT_EQ(UndoMenuText(document), "Rückgängig Ende trimmen\tCtrl+Z");

  document.SetSelection(100, 300, 200);
  Run(LEditCommandId::kTrim);
  EXPECT_EQ(document.Length(), 200);
  EXPECT_EQ(Audio(document)[0], 1101 * 16);
  EXPECT_EQ(document.selectionStart, 0);
  EXPECT_EQ(document.selectionEnd, 0);
  EXPECT_EQ(document.visibleEnd, 200);
}

TEST_F(EditCommandsTest, InsertSilenceUsesAndStoresTheDialogLength) {
  LSoundDocument& document = Open(1000);
  document.SetSelection(0, 0, 400);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LSilenceDialog&>(model);
    EXPECT_EQ(dialog.lengthText, "0");
    dialog.lengthText = "1500";
    return true;
  });
  Run(LEditCommandId::kInsertSilenceCursor);
  EXPECT_EQ(document.Length(), 1000 + 66150);
  std::vector<int32_t> audio = Audio(document);
  EXPECT_EQ(audio[399], 400 * 16);
  EXPECT_EQ(audio[400], 0);
  EXPECT_EQ(audio[400 + 66150], 401 * 16);
  EXPECT_EQ(settings_.Read(kSilenceTimes), 1500);
  EXPECT_EQ(UndoMenuText(document), "Rückgängig Stille in der aktuellen Position einfügen\tCtrl+Z");
  EXPECT_EQ(ui_.dialogTitles, (std::vector<std::string>{"Stille einfügen"}));

  ui_.dialogs.push_back([](LDialogModel&) { return false; });
  Run(LEditCommandId::kInsertSilenceEnd);  // cancelled: nothing
  EXPECT_EQ(document.Length(), 1000 + 66150);

  Run(LEditCommandId::kInsertSilenceStart);  // the stored 1500 ms again, at the start
  EXPECT_EQ(document.Length(), 1000 + 2 * 66150);
  EXPECT_EQ(Audio(document)[66150], 16);

  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LSilenceDialog&>(model).lengthText = "0";
    return true;
  });
  Run(LEditCommandId::kInsertSilenceEnd);  // nothing inserted, but an undo entry
  EXPECT_EQ(document.Length(), 1000 + 2 * 66150);
  EXPECT_EQ(UndoMenuText(document), "Rückgängig Stille am Ende einfügen\tCtrl+Z");

  // Lengths are brought into 0 to 10 minutes, typed or stored.
  EXPECT_EQ(LSilenceDialog(0).LengthMs(), 0);
  LSilenceDialog typed(0);
  typed.lengthText = "-5";
  EXPECT_EQ(typed.LengthMs(), 0);
  typed.lengthText = "999999999";
  EXPECT_EQ(typed.LengthMs(), 600000);
  ASSERT_TRUE(settings_.WriteString("StoredValues", "SilenceTimes", "-5"));
  ui_.dialogs.push_back([](LDialogModel& model) {
    EXPECT_EQ(dynamic_cast<LSilenceDialog&>(model).lengthText, "0");
    return true;
  });
  Run(LEditCommandId::kInsertSilenceEnd);
  EXPECT_EQ(document.Length(), 1000 + 2 * 66150);
}

TEST_F(EditCommandsTest, SilenceOverTheSelection) {
  LSoundDocument& document = Open(1000);
  document.SetSelection(100, 200, 0);
  Run(LEditCommandId::kSilenceSelection);
  std::vector<int32_t> audio = Audio(document);
  ASSERT_EQ(audio.size(), 1000u);
  EXPECT_EQ(audio[99], 100 * 16);
  EXPECT_EQ(audio[100], 0);
  EXPECT_EQ(audio[199], 0);
  EXPECT_EQ(audio[200], 201 * 16);
}

TEST_F(EditCommandsTest, LoopRepeatKeepsTheFirstCopySelected) {
  LSoundDocument& document = Open(1000);
  document.SetSelection(200, 300, 250);
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LRepeatDialog&>(model).countText = "3";
    return true;
  });
  Run(LEditCommandId::kLoopRepeat);
  EXPECT_EQ(document.Length(), 1300);
  EXPECT_EQ(document.selectionStart, 200);
  EXPECT_EQ(document.selectionEnd, 300);
  std::vector<int32_t> audio = Audio(document);
  for (int copy = 0; copy < 4; ++copy) EXPECT_EQ(audio[static_cast<size_t>(200 + 100 * copy)], 201 * 16);
  EXPECT_EQ(audio[600], 301 * 16);
  EXPECT_EQ(settings_.Read(kRepeatNumTimes), 3);
}

TEST_F(EditCommandsTest, SplitAndCopyToNewOpenNewWindows) {
  LSoundDocument& document = Open(1000);
  document.cursor = 300;
  Run(LEditCommandId::kSplitHere);
  ASSERT_EQ(frame_.Documents().size(), 2u);
  EXPECT_EQ(document.Length(), 300);
  LSoundDocument& rest = *frame_.Documents()[1];
  EXPECT_EQ(frame_.ActiveDocument(), &rest);
  EXPECT_EQ(rest.Length(), 700);
  EXPECT_EQ(Audio(rest)[0], 301 * 16);
  EXPECT_EQ(UndoMenuText(document), "Rückgängig Splitte Dateien an diesem Punkt\tCtrl+Z");

  rest.cursor = 0;  // splitting at 0 moves everything to the new window
  Run(LEditCommandId::kSplitHere);
  EXPECT_EQ(rest.Length(), 0);
  EXPECT_EQ(frame_.Documents().back()->Length(), 700);

  frame_.Activate(document);
  frame_.requests.clear();
  Run(LEditCommandId::kCopyToNew);  // no selection: nothing
  EXPECT_EQ(frame_.Documents().size(), 3u);
  document.SetSelection(10, 20, 0);
  Run(LEditCommandId::kCopyToNew);
  ASSERT_EQ(frame_.Documents().size(), 4u);
  const std::vector<int32_t> numbered = Numbered(20);
  EXPECT_EQ(Audio(*frame_.Documents().back()), std::vector<int32_t>(numbered.begin() + 10, numbered.end()));
  EXPECT_EQ(frame_.requests.back(), "ArrangeWindows");
  EXPECT_FALSE(CanUndo(document) && UndoMenuText(document).find("kopieren") != std::string::npos);
}

TEST_F(EditCommandsTest, SelectionCommandsAndMarks) {
  LSoundDocument& document = Open(20000);
  document.cursor = 5000;
  Run(LEditCommandId::kSelectToStart);
  EXPECT_EQ(document.selectionStart, 0);
  EXPECT_EQ(document.selectionEnd, 5000);
  Run(LEditCommandId::kSelectToEnd);
  EXPECT_EQ(document.selectionStart, 5000);
  EXPECT_EQ(document.selectionEnd, 20000);
  Run(LEditCommandId::kSelectAll);
  EXPECT_EQ(document.selectionEnd, 20000);
  EXPECT_EQ(document.cursor, 5000);

  document.cursor = 9000;
  Run(LEditCommandId::kMarkFirst);
  document.cursor = 3000;
  frame_.playing = true;
  frame_.requests.clear();
  Run(LEditCommandId::kMarkSecond);
  EXPECT_EQ(document.selectionStart, 3000);
  EXPECT_EQ(document.selectionEnd, 9000);
  EXPECT_EQ(document.cursor, 9000);
  EXPECT_EQ(frame_.requests, (Requests{"StopPlayback", "RedrawDocument", "Play 9000"}));
  EXPECT_FALSE(CanUndo(document));
}

TEST_F(EditCommandsTest, RangeDialogMovesTheSelectionAsTheUserTypes) {
  LSoundDocument& document = Open(441000);
  document.SetSelection(44100, 88200, 0);
  ui_.dialogs.push_back([&](LDialogModel& model) {
    auto& dialog = dynamic_cast<LRangeDialog&>(model);
    EXPECT_EQ(dialog.StartText(), "0:00:01.00");
    EXPECT_EQ(dialog.EndText(), "0:00:02.00");
    dialog.SetStartText("0:00:03.5");
    EXPECT_EQ(document.selectionStart, 154350);  // at once
    dialog.SetEndText("");
    EXPECT_EQ(document.selectionEnd, 88200);  // an empty field changes nothing
    dialog.SetEndText("99999999999999999999");
    EXPECT_EQ(document.selectionEnd, INT32_MAX);  // saturated, not wrapped
    dialog.SetEndText("0:00:03");
    dialog.Preview();
    return true;
  });
  Run(LEditCommandId::kSelectRange);
  EXPECT_EQ(document.selectionStart, 154350);
  EXPECT_EQ(document.selectionEnd, 132300);  // not reordered: no selection
  EXPECT_FALSE(document.HasSelection());
  EXPECT_EQ(frame_.playedFrom, 0);
}

// A selection typed far before the sound's start: silence goes in at the cursor, and the
// playback afterwards starts at the beginning, not at a position that wrapped around.
TEST_F(EditCommandsTest, ASelectionFarBeforeTheStartPlaysFromTheBeginning) {
  LSoundDocument& document = Open(1000);
  document.cursor = 500;
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LRangeDialog&>(model).SetStartText("-1000:00:00");
    return true;
  });
  Run(LEditCommandId::kSelectRange);
  EXPECT_EQ(document.selectionStart, INT32_MIN);
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LSilenceDialog&>(model).lengthText = "10";
    return true;
  });
  Run(LEditCommandId::kInsertSilenceCursor);
  EXPECT_EQ(document.Length(), 1441);
  EXPECT_EQ(frame_.playedFrom, 0);
  EXPECT_EQ(document.cursor, 0);
}

TEST_F(EditCommandsTest, SaveSelectionAsAsksBeforeReplacing) {
  LSoundDocument& document = Open(1000);
  document.SetSelection(100, 400, 0);
  const std::string path = folder_ + "/part.wav";
  test::WriteBytes(path, "old");
  ui_.saveFiles = {path, path, path};
  ui_.answers = {LAnswer::kNo, LAnswer::kCancel};
  Run(LEditCommandId::kSaveSelectionAs);  // No: ask again; Cancel: stop
  EXPECT_EQ(ui_.saveRequests.size(), 2u);
  EXPECT_EQ(test::ReadBytes(path), "old");
  EXPECT_EQ(ui_.saveRequests[0].filter, "Wave (*.wav)");

  ui_.answers = {LAnswer::kYes};
  Run(LEditCommandId::kSaveSelectionAs);
  EXPECT_EQ(settings_.Read(kSaveAsDir), folder_);
  EXPECT_EQ(ui_.saveRequests.back().folder, folder_);
  LRef<LSoundStream> saved = OpenWaveFile(path);
  ASSERT_TRUE(saved->Usable());
  const std::vector<int32_t> numbered = Numbered(400);
  const std::vector<int32_t> expected(numbered.begin() + 100, numbered.end());
  EXPECT_EQ(test::ReadAll(*saved), expected);
  EXPECT_EQ(document.Length(), 1000);
  EXPECT_FALSE(CanUndo(document));
}

TEST_F(EditCommandsTest, LowSpaceIsReportedAfterTheEdit) {
  LSoundDocument& document = Open(1000);
  document.SetSelection(0, 500, 0);
  ui_.freeBytes = 2 * 1024 * 1024;
  Run(LEditCommandId::kDelete);
  EXPECT_EQ(document.Length(), 500);  // done all the same
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, LowSpaceMessage("Löschen"));
  EXPECT_NE(ui_.messages[0].text.find("aktion \"Löschen\" wurde"), std::string::npos);
  EXPECT_EQ(frame_.playedFrom, -1);
}

TEST(TimeTextTest, FormatsAndParses) {
  EXPECT_EQ(FormatTimeText(3723456), "1:02:03.46");
  EXPECT_EQ(FormatTimeText(0), "0:00:00.00");
  EXPECT_EQ(FormatTimeText(-1000), "-0:00:01.00");
  EXPECT_EQ(FormatTimeText(59999), "0:01:00.00");
  EXPECT_EQ(ParseTimeText("1:02:03.46"), 3723460);
  EXPECT_EQ(ParseTimeText("-0:01"), -1000);
  EXPECT_EQ(ParseTimeText("0:0-1"), -1000);
  EXPECT_EQ(ParseTimeText("2.5"), 2500);
  EXPECT_EQ(ParseTimeText("1x:3y0"), 90000);  // junk characters are ignored
  EXPECT_EQ(ParseTimeText(""), 0);
  EXPECT_EQ(ParseTimeText("0.1234"), 123);
  EXPECT_GT(ParseTimeText("99999999999999999999999:99"), 0);  // no overflow into negatives
  // Long runs of digits saturate wherever they stand, beyond any frame position.
  for (const char* text : {"99999999999999999999", "1125899906842623:99999999999999999999",
                           "9:9:9:9:9:9:9:9:9:9:9:9:9:99999999999999"}) {
    EXPECT_GE(ParseTimeText(text), int64_t{2147483647} * 1000) << text;
    EXPECT_LE(ParseTimeText("-" + std::string(text)), -int64_t{2147483647} * 1000) << text;
  }
  EXPECT_EQ(FieldToInt(" 12x"), 12);
  EXPECT_EQ(FieldToInt("-7"), -7);
  EXPECT_EQ(FieldToInt("x"), 0);
}

// Random commands, undos and redos: the sound always matches the snapshot it should, and
// every block is referenced exactly as often as segments name it.
TEST_F(EditCommandsTest, RandomCommandsKeepSnapshotsAndBlockCounts) {
  settings_.Write(kAutoPlaybackAfterEffects, false);
  settings_.Write(kAutoArrangeWindows, false);
  LSoundDocument& document = Open(3000);
  std::vector<uint16_t> blocks = {document.sound.Segments()[0].Block()};
  std::mt19937 random(99);
  std::vector<std::vector<int32_t>> undoStack;
  std::vector<std::vector<int32_t>> redoStack;
  const LEditCommandId kUndoable[] = {LEditCommandId::kDelete, LEditCommandId::kTrim, LEditCommandId::kTrimStart, LEditCommandId::kTrimEnd, LEditCommandId::kSilenceSelection,
                           LEditCommandId::kInsertSilenceStart, LEditCommandId::kInsertSilenceCursor, LEditCommandId::kInsertSilenceEnd,
                           LEditCommandId::kLoopRepeat, LEditCommandId::kSplitHere};
  for (int step = 0; step < 600; ++step) {
    const int32_t length = document.Length();
    std::uniform_int_distribution<int32_t> pos(-100, length + 100);
    document.SetSelection(pos(random), pos(random), std::max(0, pos(random)));
    if (random() % 4 == 0) document.SetSelection(0, 0, document.cursor);
    const std::vector<int32_t> before = Audio(document);
    switch (random() % 4) {
      case 0: {
        bool undone = UndoCommand(frame_);
        if (undone) {
          ASSERT_FALSE(undoStack.empty());
          redoStack.push_back(before);
          ASSERT_EQ(Audio(document), undoStack.back()) << "step " << step;
          undoStack.pop_back();
        } else {
          undoStack.clear();
        }
        break;
      }
      case 1: {
        bool redone = RedoCommand(frame_);
        if (redone) {
          ASSERT_FALSE(redoStack.empty());
          undoStack.push_back(before);
          ASSERT_EQ(Audio(document), redoStack.back()) << "step " << step;
          redoStack.pop_back();
        } else {
          redoStack.clear();
        }
        break;
      }
      default: {
        LEditCommandId id = kUndoable[random() % std::size(kUndoable)];
        ui_.dialogs.push_back([&random](LDialogModel& model) {
          if (auto* silence = dynamic_cast<LSilenceDialog*>(&model)) {
            silence->lengthText = std::to_string(static_cast<int>(random() % 40) - 5);
          }
          if (auto* repeat = dynamic_cast<LRepeatDialog*>(&model)) {
            repeat->countText = std::to_string(static_cast<int>(random() % 4) - 1);
          }
          return true;
        });
        const bool makesEntry = id != LEditCommandId::kDelete || document.HasSelection();
        Run(id);
        ui_.dialogs.clear();
        if (makesEntry) {
          undoStack.push_back(before);
          redoStack.clear();
        }
        // Windows opened by a split are closed again at once: their blocks must go too.
        while (frame_.Documents().size() > 1) frame_.CloseDocument(*frame_.Documents().back());
        break;
      }
    }
    if (document.Length() > 20000) {
      document.sound.TrimEnd(3000);  // keep the sound small, and start a new history
      document.undo = LUndoRing{};
      undoStack.clear();
      redoStack.clear();
    }
    // Block references: the document and its undo slots are the only holders.
    std::map<uint16_t, int> uses;
    auto count = [&uses](const LSegmentList& list) {
      for (const LSegment& segment : list.Segments()) {
        ASSERT_GT(segment.length, 0);
        if (!segment.IsSilence()) ++uses[segment.Block()];
      }
    };
    count(document.sound);
    for (const LUndoSlot& slot : document.undo.slots) count(slot.sound);
    for (uint16_t block : blocks) {
      ASSERT_EQ(LBlockStore::Instance().ReferenceCount(block), uses[block]) << "step " << step;
    }
  }
  frame_.CloseDocument(document);
  EXPECT_EQ(LBlockStore::Instance().ReferenceCount(blocks[0]), 0);
  EXPECT_FALSE(FileExists(LBlockStore::Instance().FileName(blocks[0], LBlockFile::kAudio)));
}

}  // namespace
}  // namespace klangor
