// Automatic trim from the peak summaries and split at silences: the rules' edge cases, the
// commands with their undo steps, questions and new documents, and a long sound with many
// silences.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "edit/auto_split.h"
#include "edit/auto_trim.h"
#include "edit/edit_commands.h"
#include "frame/headless_frame.h"
#include "frame/headless_ui.h"
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

constexpr int32_t kRate = 44100;

// Mono passages: {frames, amplitude} one after the other, as a sine of 441 Hz.
std::vector<int32_t> Passages(const std::vector<std::pair<int32_t, int32_t>>& passages) {
  std::vector<int32_t> samples;
  for (auto [frames, amplitude] : passages) {
    for (int32_t i = 0; i < frames; ++i) {
      const auto f = static_cast<double>(samples.size());
      samples.push_back(static_cast<int32_t>(amplitude * std::sin(2 * 3.14159265358979 * 441.0 * f / kRate)));
    }
  }
  return samples;
}

LSegmentList Sound(const std::vector<std::pair<int32_t, int32_t>>& passages, int channels = 1) {
  std::vector<int32_t> mono = Passages(passages);
  std::vector<int32_t> samples;
  for (int32_t s : mono) {
    for (int c = 0; c < channels; ++c) samples.push_back(c == 0 ? s : s / 2);
  }
  return test::MakeSound(kRate, channels, samples);
}

TEST(AutoTrimTest, KeepsTheLoudPartByWholeGroupsOfTheSummary) {
  // 10 groups of silence, 20 loud, 10 quiet (below -20 dB of the peak), then 100 frames.
  const LSegmentList sound = Sound({{2560, 0}, {5120, 400000}, {2560, 20000}, {100, 0}}, 2);
  const LTrimRange range = AutoTrimRange(sound, -20);
  EXPECT_EQ(range.start, 9 * 256);  // one group before the first loud one
  EXPECT_EQ(range.end, 30 * 256);
  // -127 dB: every group with any sound counts; above 0 dB none does.
  EXPECT_EQ(AutoTrimRange(sound, -127).end, 40 * 256);
  const LTrimRange none = AutoTrimRange(sound, 3);
  EXPECT_EQ(none.start, 0);
  EXPECT_EQ(none.end, sound.Length());
  // All silence, and a sound shorter than a group, keep everything.
  for (const LSegmentList& quiet : {Sound({{9000, 0}}), Sound({{1, 400000}})}) {
    const LTrimRange all = AutoTrimRange(quiet, -20);
    EXPECT_EQ(all.start, 0);
    EXPECT_EQ(all.end, quiet.Length());
  }
}

TEST(AutoTrimTest, GroupZeroAndTheLastGroupAreNotLookedAtAndGainsCount) {
  // Loud from the first frame to the last: the start stays, the partial last group goes.
  const LSegmentList loud = Sound({{40 * 256 + 100, 400000}});
  EXPECT_EQ(AutoTrimRange(loud, -20).start, 0);
  EXPECT_EQ(AutoTrimRange(loud, -20).end, 40 * 256);
  // A segment at 5 % gain counts as quiet against one at unity.
  LSegmentList sound = Sound({{25600, 400000}});
  sound.ScaleRangeGain(0, 12800, 5);
  EXPECT_EQ(AutoTrimRange(sound, -20).start, 49 * 256);
  // Silence segments and a block whose peak file is gone count as silence.
  LSegmentList gapped;
  gapped.InsertSilence(0, 5120);
  gapped.Insert(5120, Sound({{5120, 400000}}));
  EXPECT_EQ(AutoTrimRange(gapped, -20).start, 19 * 256);
  RemoveFile(LBlockStore::Instance().FileName(gapped.Segments().back().Block(), LBlockFile::kPeaks));
  EXPECT_EQ(AutoTrimRange(gapped, -20).start, 0);
}

TEST(AutoSplitTest, RegionsByTheWindowRules) {
  constexpr int32_t w = kRate / 20;  // 2205
  const LSegmentList sound = Sound({{22050, 0}, {22050, 300000}, {44100, 0}, {22050, 300000}, {22050, 0}});
  LSilentProgress progress;
  std::vector<LSplitRegion> regions;
  ASSERT_EQ(FindSplitRegions(sound, -36, 500, progress, regions), LResult::kDone);
  EXPECT_EQ(regions, (std::vector<LSplitRegion>{{22050 - w / 2, 44100 - w + 2 * w}, {88200 - w / 2, 110250 - w + 2 * w}}));
  // A minimum silence longer than the gap keeps one region; the end closes it.
  ASSERT_EQ(FindSplitRegions(sound, -36, 1500, progress, regions), LResult::kDone);
  EXPECT_EQ(regions, (std::vector<LSplitRegion>{{22050 - w / 2, 110250 - w + 2 * w}}));
  // Duration 0: one quiet window ends a region. A region that starts in the first half window
  // starts at 0; one loud to the end is closed at the length.
  const LSegmentList dips = Sound({{w / 3, 0}, {3 * w, 300000}, {2 * w, 0}, {3 * w + 17, 300000}});
  ASSERT_EQ(FindSplitRegions(dips, -36, 0, progress, regions), LResult::kDone);
  ASSERT_EQ(regions.size(), 2u);
  EXPECT_EQ(regions[0].start, 0);
  EXPECT_EQ(regions[1].end, dips.Length());
  // -127 dB: anything but digital silence is sound; +127 dB: nothing is.
  ASSERT_EQ(FindSplitRegions(sound, 127, 0, progress, regions), LResult::kDone);
  EXPECT_TRUE(regions.empty());
  ASSERT_EQ(FindSplitRegions(Sound({{kRate, 0}}), -127, 0, progress, regions), LResult::kDone);
  EXPECT_TRUE(regions.empty());
  ASSERT_EQ(FindSplitRegions(Sound({{2, 300000}}), -127, 0, progress, regions), LResult::kDone);
  EXPECT_EQ(regions, (std::vector<LSplitRegion>{{0, 2}}));
}

// An hour with 20 silences: 21 pieces, each from half a window before its sound's first loud
// window to two windows after its last loud one (so within 100 ms after the sound).
TEST(AutoSplitTest, AnHourWithTwentySilences) {
  constexpr int32_t w = kRate / 20;
  const LSegmentList tone = Sound({{10 * kRate, 300000}});
  LSegmentList hour(kRate, 1);
  std::vector<std::pair<int64_t, int64_t>> sounds;
  for (int piece = 0; piece < 21; ++piece) {
    const int32_t start = hour.Length();
    const int32_t frames = 168 * kRate + piece * 1234;
    for (int32_t at = 0; at < frames; at += tone.Length()) {
      hour.Insert(hour.Length(), tone);
    }
    hour.TrimEnd(start + frames);
    sounds.emplace_back(start, start + frames);
    if (piece < 20) hour.InsertSilence(hour.Length(), 3 * kRate + piece * 333);
  }
  ASSERT_GT(hour.Length(), 3590 * kRate);
  LSilentProgress progress;
  std::vector<LSplitRegion> regions;
  ASSERT_EQ(FindSplitRegions(hour, -36, 1000, progress, regions), LResult::kDone);
  ASSERT_EQ(regions.size(), 21u);
  for (size_t i = 0; i < regions.size(); ++i) {
    SCOPED_TRACE(i);
    const auto [first, end] = sounds[i];
    EXPECT_EQ(regions[i].start, std::max<int64_t>(0, first / w * w - w / 2));
    const int64_t boundary = std::min<int64_t>((end - 1) / w * w + 2 * w, hour.Length());
    EXPECT_LE(std::abs(regions[i].end - boundary), kRate / 100);
    EXPECT_GE(regions[i].end, end);
  }
}

TEST(AutoSplitTest, NamesAndDialog) {
  EXPECT_EQ(SplitPieceName("/music/take.one.wav", 0), "/music/take.one (0).wav");
  EXPECT_EQ(SplitPieceName("/music/noext", 12), "/music/noext (12)");
  EXPECT_EQ(SplitPieceName("", 3), "Unbenannt (3).wav");
  LAutoSplitDialog dialog(-500, -1);
  EXPECT_EQ(dialog.Threshold(), LAutoSplitDialog::kThresholdMin);
  EXPECT_EQ(dialog.Validate(), LAutoSplitDialog::kInvalidLengthMessage);
  dialog.durationMs = 0;
  EXPECT_EQ(dialog.Validate(), "");
}

class SilenceCommandsTest : public test::LCommandFixture {
 protected:
  SilenceCommandsTest() : LCommandFixture("-silence") { AddEditCommands(table_); }
  LSoundDocument& Open(LSegmentList sound, bool modified = false) {
    return OpenSound(std::move(sound), folder_ + "/take.wav", modified);
  }
  void Run(LEditCommandId id) { ASSERT_TRUE(table_.Dispatch(id, context_)); }
};

TEST_F(SilenceCommandsTest, AutomaticTrimCommand) {
  LSoundDocument& document = Open(Sound({{2560, 0}, {5120, 400000}, {2560, 20000}}));
  document.SetSelection(100, 200, 150);
  const std::vector<int32_t> before = test::ReadAll(*OpenSegmentStream(document.sound));
  settings_.Write(kAutoTrimThreshold, -40);  // the quiet part stays
  Run(LEditCommandId::kAutoTrim);
  EXPECT_EQ(document.Length(), 40 * 256 - 9 * 256);
  EXPECT_EQ(test::ReadAll(*OpenSegmentStream(document.sound)),
            std::vector<int32_t>(before.begin() + 9 * 256, before.end()));
  EXPECT_EQ(document.cursor, 0);
  EXPECT_FALSE(document.HasSelection());
  EXPECT_EQ(UndoMenuText(document), "Rückgängig Automatisches Trimmen\tCtrl+Z");
  EXPECT_EQ(frame_.playedFrom, 0);
}

TEST_F(SilenceCommandsTest, SplitCommandOpensThePiecesOrSaysWhy) {
  Open(Sound({{22050, 0}, {22050, 300000}, {44100, 0}, {22050, 300000}, {22050, 0}}));
  settings_.Write(kAutoSplitDuration, 500);
  Run(LEditCommandId::kAutoSplit);
  ASSERT_EQ(frame_.Documents().size(), 3u);
  EXPECT_EQ(frame_.Documents()[1]->fileName, folder_ + "/take (0).wav");
  EXPECT_EQ(frame_.Documents()[2]->fileName, folder_ + "/take (1).wav");
  EXPECT_TRUE(frame_.Documents()[2]->modified);
  EXPECT_EQ(frame_.Documents()[1]->Length(), 44100 - 2205 + 4410 - (22050 - 1102));
  EXPECT_EQ(settings_.Read(kAutoSplitThreshold), -36);

  // No silence at all, and nothing but silence: a message, no new documents.
  for (int32_t amplitude : {300000, 0}) {
    Open(Sound({{kRate, amplitude}}));
    const size_t open = frame_.Documents().size();
    ui_.messages.clear();
    Run(LEditCommandId::kAutoSplit);
    EXPECT_EQ(frame_.Documents().size(), open);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].caption, kAutoSplitTitle);
  }
  // A negative length keeps the dialog open with its message (the script then cancels it).
  ui_.messages.clear();
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LAutoSplitDialog&>(model).durationMs = -5;
    return true;
  });
  Run(LEditCommandId::kAutoSplit);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, LAutoSplitDialog::kInvalidLengthMessage);
  EXPECT_EQ(settings_.Read(kAutoSplitDuration), 500);
}

TEST_F(SilenceCommandsTest, AModifiedSoundIsSavedFirst) {
  LSoundDocument& document = Open(Sound({{22050, 300000}, {44100, 0}, {22050, 300000}}), /*modified=*/true);
  ui_.answers.push_back(LAnswer::kNo);  // declining ends the command
  Run(LEditCommandId::kAutoSplit);
  EXPECT_EQ(frame_.Documents().size(), 1u);
  EXPECT_TRUE(ui_.dialogTitles.empty());

  Run(LEditCommandId::kAutoSplit);  // yes, then the save dialog is cancelled
  ASSERT_EQ(ui_.saveRequests.size(), 1u);
  EXPECT_EQ(ui_.saveRequests[0].title, kSaveBeforeSplitTitle);
  EXPECT_EQ(frame_.Documents().size(), 1u);

  const std::string saved = folder_ + "/saved.wav";
  ui_.saveFiles.push_back(saved);
  Run(LEditCommandId::kAutoSplit);
  EXPECT_TRUE(FileExists(saved));
  EXPECT_EQ(document.fileName, saved);
  EXPECT_FALSE(document.modified);
  ASSERT_EQ(frame_.Documents().size(), 3u);
  EXPECT_EQ(frame_.Documents()[1]->fileName, folder_ + "/saved (0).wav");
}

}  // namespace
}  // namespace klangor
