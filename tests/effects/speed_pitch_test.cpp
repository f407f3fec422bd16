// Speed and pitch, and the sample-rate and channel conversions of a document: the runs, the
// dialog models and the menu commands over the headless frame.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/edit_frame.h"
#include "app/headless_frame.h"
#include "app/headless_ui.h"
#include "app/settings_keys.h"
#include "effects/rate_commands.h"
#include "effects/speed_pitch.h"
#include "platform/paths.h"
#include "rate_test_util.h"
#include "store/segment_stream.h"
#include "store/undo.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using Mode = LSpeedPitchMode;

LRef<LSoundDocument> ToneDocument(int32_t rate, int channels, int32_t frames, double freq = 440) {
  auto document = MakeRef<LSoundDocument>();
  document->sound = test::MakeSound(rate, channels, test::Tone(rate, channels, frames, freq, 200000, 110));
  document->LengthChanged();
  return document;
}

std::vector<int32_t> Audio(const LSoundDocument& document) {
  LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
  return test::ReadFrames(*reader, reader->Length());
}

double PitchOf(const LSoundDocument& document, double around) {
  const std::vector<int32_t> audio = Audio(document);
  const int channels = document.sound.Channels();
  const int32_t rate = document.sound.SampleRate();
  const int32_t middle = document.Length() / 2;
  return test::StrongestFrequency(test::Channel(audio, channels, 0, middle - rate / 8, middle + rate / 8), rate,
                                  around * 0.9, around * 1.1, around / 400);
}

LResult Apply(LSoundDocument& document, Mode mode, int32_t percent) {
  document.SetSelection(0, document.Length(), 0);
  LSilentProgress progress;
  return RunSpeedPitch(document, mode, percent, progress);
}

TEST(SpeedPitchTest, TheThreeModesChangeLengthAndPitchAsNamed) {
  const int32_t frames = 44100;
  LRef<LSoundDocument> both = ToneDocument(44100, 2, frames);
  ASSERT_EQ(Apply(*both, Mode::kSpeedAndPitch, 200), LResult::kDone);
  EXPECT_NEAR(both->Length(), frames / 2, 1);  // 44100 -> 22050, labelled 44100 again
  EXPECT_NEAR(PitchOf(*both, 880), 880, 2);
  EXPECT_EQ(both->sound.SampleRate(), 44100);
  EXPECT_EQ(both->selectionEnd, both->Length());

  LRef<LSoundDocument> speed = ToneDocument(44100, 1, frames);
  ASSERT_EQ(Apply(*speed, Mode::kSpeedOnly, 150), LResult::kDone);
  EXPECT_NEAR(speed->Length(), frames / 1.5, 256);
  EXPECT_NEAR(PitchOf(*speed, 440), 440, 1);

  LRef<LSoundDocument> pitch = ToneDocument(22050, 2, frames / 2);
  ASSERT_EQ(Apply(*pitch, Mode::kPitchOnly, 50), LResult::kDone);
  EXPECT_NEAR(pitch->Length(), frames / 2, 128);
  EXPECT_NEAR(PitchOf(*pitch, 220), 220, 1);
  EXPECT_EQ(pitch->sound.Channels(), 2);
}

TEST(SpeedPitchTest, OnlyTheSelectionChangesAndItsEndFollowsTheNewLength) {
  LRef<LSoundDocument> document = ToneDocument(8000, 1, 24000);
  const std::vector<int32_t> before = Audio(*document);
  document->SetSelection(8000, 16000, 0);
  LSilentProgress progress;
  ASSERT_EQ(RunSpeedPitch(*document, Mode::kSpeedAndPitch, 200, progress), LResult::kDone);
  EXPECT_EQ(document->selectionStart, 8000);
  EXPECT_EQ(document->selectionEnd, 12000);
  EXPECT_EQ(document->Length(), 20000);
  const std::vector<int32_t> after = Audio(*document);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 8000, after.begin()));
  EXPECT_TRUE(std::equal(before.begin() + 16000, before.end(), after.begin() + 12000));

  // A selection that ends before it starts is done at once; cancelling leaves the sound.
  document->selectionStart = 5000;
  document->selectionEnd = 100;
  EXPECT_EQ(RunSpeedPitch(*document, Mode::kSpeedOnly, 150, progress), LResult::kDone);
  document->SetSelection(0, 20000, 0);
  test::LCancelAfter cancel(1);
  EXPECT_EQ(RunSpeedPitch(*document, Mode::kPitchOnly, 150, cancel), LResult::kCancelled);
  EXPECT_EQ(Audio(*document), after);
}

// Percentages from scripts: 10 % or less counts as 10 % in every mode (klangor-batch's test
// runs 1000 % and more), and the largest ones still finish.
TEST(SpeedPitchTest, PercentagesOutsideTheDialogsRange) {
  EXPECT_EQ(SpeedFactor(-30000), 0.1);
  for (Mode mode : {Mode::kSpeedAndPitch, Mode::kSpeedOnly, Mode::kPitchOnly}) {
    SCOPED_TRACE(static_cast<int>(mode));
    LRef<LSoundDocument> slowest = ToneDocument(8000, 1, 800);
    ASSERT_EQ(Apply(*slowest, mode, 0), LResult::kDone);
    LRef<LSoundDocument> tenth = ToneDocument(8000, 1, 800);
    ASSERT_EQ(Apply(*tenth, mode, 10), LResult::kDone);
    EXPECT_EQ(Audio(*slowest), Audio(*tenth));
    EXPECT_NEAR(slowest->Length(), mode == Mode::kPitchOnly ? 800 : 8000, 40);
    LRef<LSoundDocument> fastest = ToneDocument(8000, 1, 8000);
    ASSERT_EQ(Apply(*fastest, mode, 32767), LResult::kDone);
  }
  // 100 % leaves the audio as it was (the pump only limits what a document may exceed).
  LRef<LSoundDocument> same = ToneDocument(8000, 2, 3000);
  const std::vector<int32_t> before = Audio(*same);
  ASSERT_EQ(Apply(*same, Mode::kSpeedOnly, 100), LResult::kDone);
  EXPECT_EQ(Audio(*same), before);
}

TEST(SpeedPitchTest, DialogLabelsAndLimit) {
  const LSegmentList selection = test::MakeSound(8000, 1, test::Tone(8000, 1, 800, 440, 1000));
  LSpeedPitchDialog pitch(Mode::kPitchOnly, 300, selection);
  EXPECT_EQ(pitch.Title(), "Nur Tonhöhe ändern");
  EXPECT_EQ(pitch.Label(), "Tonhöhe justieren (%)");
  EXPECT_EQ(pitch.Validate(), "");
  pitch.percent = 301;
  EXPECT_EQ(pitch.Validate(), "Geschwindigkeitsänderung in Prozent muss unter 300 liegen.");
  EXPECT_EQ(LSpeedPitchDialog(Mode::kSpeedAndPitch, 100, selection).Label(), "Geschwindigkeit/Tonhöhe justieren (%)");
  LSpeedPitchDialog speed(Mode::kSpeedOnly, 200, selection);
  EXPECT_EQ(speed.Label(), "Geschwindigkeit justieren (%)");
  EXPECT_TRUE(speed.PreviewEnabled());
  EXPECT_NEAR(speed.PreviewStream()->Length(), 400, 32);
}

TEST(ConvertFormatTest, DialogRangeAndRunner) {
  LSampleRateDialog dialog(44100);
  EXPECT_EQ(dialog.Title(), "Samplerate umwandeln");
  EXPECT_EQ(dialog.Validate(), "");
  for (int32_t rate : {5999, 96001, 0}) {
    dialog.sampleRate = rate;
    EXPECT_EQ(dialog.Validate(), "Samplerate muss zwischen 6000 und 96000 Samples pro Sekunde liegen.");
  }
  dialog.sampleRate = 6000;
  EXPECT_EQ(dialog.Validate(), "");

  // Positions keep their times: frames to milliseconds at the old rate, back at the new.
  LRef<LSoundDocument> document = ToneDocument(44100, 2, 44100);
  document->SetSelection(22050, 33075, 11025);
  document->firstMark = 4410;
  test::LRecordingProgress progress;
  ASSERT_EQ(ConvertDocumentFormat(*document, 8000, 1, progress), LResult::kDone);
  EXPECT_EQ(progress.title, "Converting rate or channels...");
  EXPECT_EQ(document->sound.SampleRate(), 8000);
  EXPECT_EQ(document->sound.Channels(), 1);
  EXPECT_NEAR(document->Length(), 8000, 2);
  EXPECT_EQ(document->selectionStart, 4000);
  EXPECT_EQ(document->selectionEnd, 6000);
  EXPECT_EQ(document->cursor, 2000);
  EXPECT_EQ(document->firstMark, 800);
  EXPECT_NEAR(PitchOf(*document, 440), 440, 1);
  const std::vector<int32_t> before = Audio(*document);
  EXPECT_EQ(ConvertDocumentFormat(*document, 8000, 1, progress), LResult::kDone);
  EXPECT_EQ(Audio(*document), before);
}

class ConvertCommandsTest : public ::testing::Test {
 protected:
  ConvertCommandsTest()
      : folder_(test::TempPath("-rate")),
        settings_(folder_ + "/user.ini", folder_ + "/machine.ini"),
        context_{frame_, ui_, settings_} {
    EnsureFolder(folder_);
    AddSpeedPitchCommands(table_);
    AddConvertCommands(table_);
    frame_.OpenDocument(ToneDocument(44100, 2, 66150));
    frame_.requests.clear();
  }

  LSoundDocument& Document() { return *frame_.ActiveDocument(); }
  void Dispatch(int id) { ASSERT_TRUE(table_.Dispatch(id, context_)); }

  std::string folder_;
  LHeadlessFrame frame_;
  LHeadlessUi ui_;
  LSettingsStore settings_;
  LCommandTable table_;
  LCommandContext context_;
};

TEST_F(ConvertCommandsTest, SpeedCommandStoresItsValueAndPlaysAfterwards) {
  Document().SetSelection(33075, 66150, 0);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LSpeedPitchDialog&>(model);
    EXPECT_EQ(dialog.percent, 100);  // nothing stored yet
    dialog.percent = 200;
    return true;
  });
  Dispatch(kCmdSpeedAndPitch);
  EXPECT_EQ(ui_.dialogTitles, (std::vector<std::string>{"Geschwindigkeit und Tonhöhe ändern"}));
  EXPECT_EQ(settings_.Read(kSpSpeedPitch), 200);
  EXPECT_EQ(settings_.Read(kConstPitchSpeed), 100);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Geschwindigkeit und Tonhöhe ändern\tCtrl+Z");
  EXPECT_NEAR(Document().Length(), 33075 + 16538, 1);
  EXPECT_EQ(frame_.playedFrom, 33075 - 44100 / 2);  // half a second before the selection

  // A value above 300 keeps the dialog open (here: the script gives up), nothing changes.
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LSpeedPitchDialog&>(model).percent = 400;
    return true;
  });
  const int32_t length = Document().Length();
  Dispatch(kCmdPitchOnly);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "Geschwindigkeitsänderung in Prozent muss unter 300 liegen.");
  EXPECT_EQ(Document().Length(), length);
  EXPECT_EQ(settings_.Read(kConstSpeedPitch), 100);
}

TEST_F(ConvertCommandsTest, RateCommandConvertsWithoutPreRollAndUndoes) {
  const std::vector<int32_t> before = Audio(Document());
  Document().SetSelection(4410, 8820, 4410);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LSampleRateDialog&>(model);
    EXPECT_EQ(dialog.sampleRate, 44100);  // the document's rate
    return true;                          // unchanged: nothing happens
  });
  Dispatch(kCmdConvertRate);
  EXPECT_FALSE(CanUndo(Document()));

  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LSampleRateDialog&>(model).sampleRate = 48000;
    return true;
  });
  Dispatch(kCmdConvertRate);
  EXPECT_EQ(Document().sound.SampleRate(), 48000);
  EXPECT_EQ(Document().Length(), (66150 * 37 + 33) / 34);  // the step 34 / 37 runs 0.018 % fast
  EXPECT_EQ(Document().selectionStart, 4800);
  EXPECT_EQ(frame_.playedFrom, 4800);  // at the selection start: no pre-roll
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Samplerate konvertieren\tCtrl+Z");
  EXPECT_TRUE(UndoCommand(frame_));
  EXPECT_EQ(Document().sound.SampleRate(), 44100);
  EXPECT_EQ(Audio(Document()), before);
}

TEST_F(ConvertCommandsTest, ChannelCommandsKeepTheLeftChannelOrDoubleIt) {
  const std::vector<int32_t> before = Audio(Document());
  Document().displayMode = 1;
  Dispatch(kCmdConvertStereo);  // already stereo: nothing
  EXPECT_FALSE(CanUndo(Document()));

  Dispatch(kCmdConvertMono);
  EXPECT_EQ(Document().sound.Channels(), 1);
  EXPECT_EQ(Document().displayMode, 0);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Convert Channels\tCtrl+Z");
  const std::vector<int32_t> mono = Audio(Document());
  ASSERT_EQ(mono.size(), before.size() / 2);
  for (size_t f = 0; f < mono.size(); ++f) ASSERT_EQ(mono[f], before[2 * f]);

  Dispatch(kCmdConvertStereo);
  const std::vector<int32_t> stereo = Audio(Document());
  for (size_t f = 0; f < mono.size(); ++f) {
    ASSERT_EQ(stereo[2 * f], mono[f]);
    ASSERT_EQ(stereo[2 * f + 1], mono[f]);
  }
}

}  // namespace
}  // namespace klangor
