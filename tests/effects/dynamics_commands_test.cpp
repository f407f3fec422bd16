// The compressor and automatic volume control menu commands over the headless frame.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "app/edit_frame.h"
#include "app/headless_frame.h"
#include "app/headless_ui.h"
#include "app/settings_keys.h"
#include "effects/auto_volume.h"
#include "effects/compressor.h"
#include "effects/dynamics_commands.h"
#include "platform/paths.h"
#include "store/segment_stream.h"
#include "store/undo.h"
#include "support/test_env.h"
#include "dynamics_test_util.h"

namespace klangor {
namespace {

class DynamicsCommandsTest : public ::testing::Test {
 protected:
  DynamicsCommandsTest()
      : folder_(test::TempPath("-dynamics")),
        settings_(folder_ + "/user.ini", folder_ + "/machine.ini"),
        context_{frame_, ui_, settings_} {
    EnsureFolder(folder_);
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr) oldTmp_ = tmp;
    ::setenv("TMPDIR", folder_.c_str(), 1);
    AddDynamicsCommands(table_);
    auto document = MakeRef<LSoundDocument>();
    document->sound = test::MakeSound(
        44100, 2, test::ReadAll(*test::Passages(44100, 2, 44100 * 3, 30000, 400000, 500)));
    document->LengthChanged();
    frame_.OpenDocument(document);
    frame_.requests.clear();
  }

  ~DynamicsCommandsTest() override {
    if (oldTmp_) {
      ::setenv("TMPDIR", oldTmp_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  LSoundDocument& Document() { return *frame_.ActiveDocument(); }
  std::vector<int32_t> Audio() { return test::ReadAll(*OpenSegmentStream(Document().sound)); }
  void Run(int id) { ASSERT_TRUE(table_.Dispatch(id, context_)); }

  std::string folder_;
  std::optional<std::string> oldTmp_;
  LHeadlessFrame frame_;
  LHeadlessUi ui_;
  LSettingsStore settings_;
  LCommandTable table_;
  LCommandContext context_;
};

TEST_F(DynamicsCommandsTest, TableEntries) {
  EXPECT_EQ(table_.Find(kCmdCompressor)->menuText, "Dynamic Range Compressor...");
  EXPECT_EQ(table_.Find(kCmdAutoVolume)->menuText, "Automatische Lautstärken Kontrolle");
}

TEST_F(DynamicsCommandsTest, CompressorShowsStoredValuesStoresTheChoiceAndPlaysAfterwards) {
  const std::vector<int32_t> before = Audio();
  Document().SetSelection(44100, 88200, 0);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LCompressorDialog&>(model);
    // Nothing stored: the menu command reads 0 for each value.
    EXPECT_EQ(dialog.threshold, 0);
    EXPECT_EQ(dialog.ratioIndex, 0);
    EXPECT_EQ(dialog.limit, 0);
    dialog.ChoosePreset(2);
    return true;
  });
  Run(kCmdCompressor);
  EXPECT_EQ(ui_.dialogTitles, (std::vector<std::string>{"Dynamic Range Compressor"}));
  EXPECT_EQ(settings_.Read(kCompressorThreshold), -6);
  EXPECT_EQ(settings_.Read(kCompressorRatio), 2);
  EXPECT_EQ(settings_.Read(kCompressorLimit), 3);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Dynamic Range Compressor\tCtrl+Z");
  EXPECT_EQ(frame_.playedFrom, 44100 - 22050);

  // The selection was compressed as the stream effect does it, the rest kept.
  const std::vector<int32_t> after = Audio();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 2 * 44100, after.begin()));
  EXPECT_TRUE(std::equal(before.begin() + 2 * 88200, before.end(), after.begin() + 2 * 88200));
  LRef<LSoundStream> expected = MakeCompressorTask(-6, kCompressorRatios[2].factor, 3)
                                    .processor->MakeStream(test::Passages(44100, 2, 44100 * 3, 30000, 400000, 500));
  expected->Seek(44100);
  EXPECT_EQ(std::vector<int32_t>(after.begin() + 2 * 44100, after.begin() + 2 * 88200),
            test::ReadFrames(*expected, 44100));

  // The next run shows what was stored.
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LCompressorDialog&>(model);
    EXPECT_EQ(dialog.threshold, -6);
    EXPECT_EQ(dialog.ratioIndex, 2);
    EXPECT_EQ(dialog.limit, 3);
    return false;  // cancelled: nothing happens
  });
  Run(kCmdCompressor);
  EXPECT_EQ(Audio(), after);
  EXPECT_TRUE(UndoCommand(frame_));  // one step, back to the sound before
  EXPECT_FALSE(CanUndo(Document()));
  EXPECT_EQ(Audio(), before);
}

TEST_F(DynamicsCommandsTest, CompressorRatioBeyondTheTableMakesNoUndoStep) {
  settings_.Write(kCompressorRatio, 7);
  const std::vector<int32_t> before = Audio();
  Run(kCmdCompressor);
  EXPECT_EQ(ui_.dialogTitles.size(), 1u);
  EXPECT_FALSE(CanUndo(Document()));
  EXPECT_FALSE(Document().modified);
  EXPECT_EQ(Audio(), before);
  EXPECT_EQ(frame_.playedFrom, -1);
}

TEST_F(DynamicsCommandsTest, CancelledRunsLeaveTheSoundWithOneUndoStep) {
  const std::vector<int32_t> before = Audio();
  ui_.cancelAtQuestion = 1;
  Run(kCmdCompressor);
  EXPECT_EQ(Audio(), before);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Dynamic Range Compressor\tCtrl+Z");
  EXPECT_EQ(frame_.playedFrom, -1);

  for (int question : {0, 3, 20}) {
    ui_.cancelAtQuestion = question;
    Run(kCmdAutoVolume);
    EXPECT_EQ(Audio(), before);
    EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Automatische Lautstärken Kontrolle\tCtrl+Z");
    EXPECT_EQ(frame_.playedFrom, -1);
  }
  EXPECT_TRUE(ListFolder(TemporaryFolder()).empty());
}

TEST_F(DynamicsCommandsTest, AutoVolumeRunsWithoutADialog) {
  const std::vector<int32_t> before = Audio();
  Document().SetSelection(22050, 110250, 0);
  Run(kCmdAutoVolume);
  EXPECT_TRUE(ui_.dialogTitles.empty());
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Automatische Lautstärken Kontrolle\tCtrl+Z");
  EXPECT_EQ(frame_.playedFrom, 0);  // half a second before 22050
  const std::vector<int32_t> after = Audio();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 2 * 22050, after.begin()));
  EXPECT_FALSE(std::equal(before.begin(), before.end(), after.begin()));
  EXPECT_TRUE(ListFolder(TemporaryFolder()).empty());

  // Without a document nothing happens.
  frame_.CloseDocument(Document());
  frame_.requests.clear();
  Run(kCmdAutoVolume);
  Run(kCmdCompressor);
  EXPECT_TRUE(frame_.requests.empty());
}

}  // namespace
}  // namespace klangor
