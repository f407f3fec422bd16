#include <gtest/gtest.h>

#include <vector>

#include "app/command_steps.h"
#include "app/headless_frame.h"
#include "app/headless_ui.h"
#include "app/settings_keys.h"
#include "effects/effect_command.h"
#include "effects/stream_effect.h"
#include "platform/paths.h"
#include "store/segment_stream.h"
#include "store/undo.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

class LNegateProcessor final : public LEffectProcessor {
 public:
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override {
    return MakeRef<test::LNegateFilter>(std::move(input));
  }
};

// Neutral parameters: the input itself.
class LNeutralProcessor final : public LEffectProcessor {
 public:
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override { return input; }
};

LEffectTask NegateTask() { return {"Negieren", std::make_shared<LNegateProcessor>()}; }

// `frames` frames of stereo, frame i holding (i + 1, -(i + 1)) x 16.
LSegmentList Stereo(int32_t frames) {
  std::vector<int32_t> samples;
  for (int32_t i = 0; i < frames; ++i) {
    samples.push_back((i + 1) * 16);
    samples.push_back(-(i + 1) * 16);
  }
  return test::MakeSound(44100, 2, samples);
}

std::vector<int32_t> Audio(const LSoundDocument& document) {
  return test::ReadAll(*OpenSegmentStream(document.sound));
}

TEST(StreamEffectTest, OnlyTheSelectionChanges) {
  auto document = MakeRef<LSoundDocument>();
  document->sound = Stereo(30000);
  const std::vector<int32_t> before = Audio(*document);
  LSilentProgress progress;

  document->SetSelection(100, 20000, 0);
  ASSERT_EQ(RunStreamEffect(*document, NegateTask(), progress), LResult::kDone);
  std::vector<int32_t> after = Audio(*document);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after[2 * 99], before[2 * 99]);
  EXPECT_EQ(after[2 * 100], -before[2 * 100]);
  EXPECT_EQ(after[2 * 19999 + 1], -before[2 * 19999 + 1]);
  EXPECT_EQ(after[2 * 20000], before[2 * 20000]);

  document->SetSelection(5, 6, 0);  // one frame
  ASSERT_EQ(RunStreamEffect(*document, NegateTask(), progress), LResult::kDone);
  EXPECT_EQ(Audio(*document)[10], -before[10]);
  EXPECT_EQ(Audio(*document)[12], before[12]);

  document->selectionStart = 500;  // an end before the start: done, nothing changes
  document->selectionEnd = 400;
  const std::vector<int32_t> now = Audio(*document);
  EXPECT_EQ(RunStreamEffect(*document, NegateTask(), progress), LResult::kDone);
  EXPECT_EQ(Audio(*document), now);

  // Neutral parameters still replace the selection, with an identical copy.
  document->SetSelection(0, 30000, 0);
  ASSERT_EQ(RunStreamEffect(*document, {"Neutral", std::make_shared<LNeutralProcessor>()}, progress),
            LResult::kDone);
  EXPECT_EQ(Audio(*document), now);
}

class EffectCommandTest : public ::testing::Test {
 protected:
  EffectCommandTest()
      : folder_(test::TempPath("-effect")),
        settings_(folder_ + "/user.ini", folder_ + "/machine.ini"),
        context_{frame_, ui_, settings_} {
    EnsureFolder(folder_);
    auto document = MakeRef<LSoundDocument>();
    document->sound = Stereo(44100);
    document->LengthChanged();
    frame_.OpenDocument(document);
    frame_.requests.clear();
  }

  LEffectCommand Negate(bool stereoOnly = false) {
    LEffectCommand command;
    command.undoName = "Negieren";
    command.title = "Negieren";
    command.stereoOnly = stereoOnly;
    command.askValues = [this](LCommandContext&, const LSegmentList& selection) {
      selectionSeen_ = selection.Length();
      return confirm_;
    };
    command.run = [](LSoundDocument& document, LProgress& progress) {
      return RunStreamEffect(document, NegateTask(), progress);
    };
    return command;
  }

  LSoundDocument& Document() { return *frame_.ActiveDocument(); }

  std::string folder_;
  LHeadlessFrame frame_;
  LHeadlessUi ui_;
  LSettingsStore settings_;
  LCommandContext context_;
  bool confirm_ = true;
  int32_t selectionSeen_ = -1;
};

TEST_F(EffectCommandTest, NoSelectionMeansTheWholeSoundAndPlaybackFollows) {
  const std::vector<int32_t> before = Audio(Document());
  RunEffectCommand(context_, Negate());
  EXPECT_EQ(selectionSeen_, 44100);
  std::vector<int32_t> after = Audio(Document());
  EXPECT_EQ(after.front(), -before.front());
  EXPECT_EQ(after.back(), -before.back());
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Negieren\tCtrl+Z");
  EXPECT_EQ(frame_.playedFrom, 0);

  // A selection starting at frame 1000 plays from half a second before it, not below 0.
  Document().SetSelection(30000, 40000, 0);
  RunEffectCommand(context_, Negate());
  EXPECT_EQ(frame_.playedFrom, 30000 - 22050);
  settings_.Write(kAutoPlaybackAfterEffects, false);
  frame_.playedFrom = -1;
  RunEffectCommand(context_, Negate());
  EXPECT_EQ(frame_.playedFrom, -1);
  EXPECT_EQ(Document().cursor, 30000);
}

TEST_F(EffectCommandTest, CancelKeepsTheSoundAndOneUndoStep) {
  const std::vector<int32_t> before = Audio(Document());
  ui_.cancelAtQuestion = 0;  // the first cancel question, before the first chunk
  RunEffectCommand(context_, Negate());
  EXPECT_EQ(Audio(Document()), before);
  EXPECT_TRUE(CanUndo(Document()));
  ASSERT_TRUE(Undo(Document()));
  EXPECT_FALSE(CanUndo(Document()));
  EXPECT_EQ(frame_.playedFrom, -1);

  confirm_ = false;  // the dialog cancelled: no undo step either
  RunEffectCommand(context_, Negate());
  EXPECT_FALSE(CanUndo(Document()));
}

TEST_F(EffectCommandTest, StereoOnlyEffectsRefuseMono) {
  Document().sound = test::MakeSound(44100, 1, std::vector<int32_t>(100, 16));
  RunEffectCommand(context_, Negate(/*stereoOnly=*/true));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, kStereoOnlyMessage);
  EXPECT_EQ(ui_.messages[0].caption, "Datei muß in Stereo konvertiert werden");
  EXPECT_EQ(ui_.messages[0].buttons, LButtons::kOkCancel);
  EXPECT_EQ(Audio(Document()), std::vector<int32_t>(100, 16));
  EXPECT_FALSE(CanUndo(Document()));
}

}  // namespace
}  // namespace klangor
