// The effect framework (a stream effect on the selection, the one flow every effect command
// runs through) and the effects' menu commands over the headless frame: stored values, undo
// steps, playback afterwards, refusals and cancels that leave the sound as it was.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "effects/amplify.h"
#include "effects/normalize.h"
#include "effects/auto_volume.h"
#include "effects/compressor.h"
#include "effects/echo.h"
#include "effects/effect_command.h"
#include "effects/envelope.h"
#include "effects/chorus.h"
#include "effects/flanger.h"
#include "effects/phaser.h"
#include "effects/effect_commands.h"
#include "effects/rate_commands.h"
#include "effects/speed_pitch.h"
#include "effects/stereo_pan.h"
#include "effects/stream_effect.h"
#include "frame/command_steps.h"
#include "frame/edit_frame.h"
#include "frame/headless_frame.h"
#include "frame/headless_ui.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "store/undo.h"
#include "support/command_fixture.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

using test::Audio;

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
std::vector<int32_t> Ramp(int32_t frames) {
  std::vector<int32_t> samples;
  for (int32_t i = 0; i < frames; ++i) samples.insert(samples.end(), {(i + 1) * 16, -(i + 1) * 16});
  return samples;
}

TEST(StreamEffectTest, OnlyTheSelectionChanges) {
  LRef<LSoundDocument> document = test::Document(44100, 2, Ramp(30000));
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

class EffectCommandsTest : public test::LCommandFixture {
 protected:
  EffectCommandsTest() : LCommandFixture("-commands", {.privateTemp = true, .privateData = true}) {
    AddEffectCommands(table_);
  }

  // Opens a sound with nothing selected.
  void Open(int32_t rate, int channels, const std::vector<int32_t>& samples) {
    OpenSound(test::MakeSound(rate, channels, samples));
    frame_.requests.clear();
  }
  void Open(int channels, int32_t frames) { Open(44100, channels, test::TestSamples(channels, frames)); }

  LSoundDocument& Document() { return *frame_.ActiveDocument(); }
  std::vector<int32_t> Audio() { return test::Audio(Document()); }
  void Run(LEffectCommandId id) { ASSERT_TRUE(table_.Dispatch(id, context_)); }
  std::string UndoText() { return UndoMenuText(Document()); }
};

// --- The menu commands ---

// Every effect command: without a document nothing happens; with the dialog's values as they
// stand, undo brings back the sound it ran on; a cancelled dialog or progress keeps the sound.
TEST_F(EffectCommandsTest, EveryCommandUndoesCancelsAndNeedsADocument) {
  ASSERT_GE(table_.Commands().size(), 26u);
  for (const auto& [id, command] : table_.Commands()) {
    SCOPED_TRACE(command.menuText);
    table_.Dispatch(id, context_);  // no document
    EXPECT_TRUE(frame_.requests.empty());
    EXPECT_TRUE(ui_.dialogTitles.empty());

    Open(2, 20000);
    Document().SetSelection(5000, 15000, 5000);
    const std::vector<int32_t> before = Audio();
    table_.Dispatch(id, context_);
    if (CanUndo(Document())) {
      ASSERT_TRUE(UndoCommand(frame_));
      EXPECT_EQ(Document().sound.Channels(), 2);
      EXPECT_EQ(Document().sound.SampleRate(), 44100);
    }
    EXPECT_EQ(Audio(), before);

    const size_t dialogs = ui_.dialogTitles.size();
    ui_.dialogs.push_back([](LDialogModel&) { return false; });
    table_.Dispatch(id, context_);
    ui_.dialogs.clear();
    const bool hasDialog = ui_.dialogTitles.size() > dialogs;
    if (hasDialog) {
      EXPECT_FALSE(CanUndo(Document()));
      EXPECT_EQ(Audio(), before);
    }
    while (CanUndo(Document())) UndoCommand(frame_);
    // Amplify runs without a progress window and reverse asks no cancel question.
    ui_.cancelAtQuestion = 0;
    table_.Dispatch(id, context_);
    ui_.cancelAtQuestion = -1;
    if (id != CommandId(LEffectCommandId::kAmplify) && id != CommandId(LEffectCommandId::kReverse)) {
      EXPECT_EQ(Audio(), before);
    }
    EXPECT_TRUE(ListFolder(TemporaryFolder()).empty());

    frame_.CloseDocument(Document());
    frame_.requests.clear();
    ui_.dialogTitles.clear();
    ui_.messages.clear();
  }
}

TEST_F(EffectCommandsTest, AmplifyStoresItsGainAndPlaysFromASecondBefore) {
  Open(2, 100000);
  Document().SetSelection(50000, 60000, 0);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LAmplifyDialog&>(model);
    EXPECT_EQ(dialog.gainPercent, 100);
    dialog.ChoosePreset(3);
    return true;
  });
  Run(LEffectCommandId::kAmplify);
  EXPECT_EQ(settings_.Read(kAmplifyGain), 200);
  EXPECT_EQ(UndoText(), "Rückgängig Anpassen\tCtrl+Z");
  EXPECT_EQ(Document().sound.Segments()[1].gain, kUnityGain / 100 * 200);
  EXPECT_EQ(frame_.playedFrom, 50000 - 44100);

  // A value the dialog refuses shows its message and changes nothing.
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LAmplifyDialog&>(model).gainPercent = 500;
    return true;
  });
  Run(LEffectCommandId::kAmplify);
  EXPECT_EQ(ui_.messages.back().text, LAmplifyDialog::kGainMessage);
  EXPECT_EQ(settings_.Read(kAmplifyGain), 200);
}


TEST_F(EffectCommandsTest, DynamikReadsAndWritesTheEnvelopeFile) {
  Open(2, 20000);
  Run(LEffectCommandId::kEnvelope);  // flat: the file is created, the sound stays
  const std::string path = folder_ + "/data/Tessaly Audio/Klangor/envelope.dat";
  EXPECT_EQ(test::ReadBytes(path), EnvelopeBytes(FlatEnvelope()));
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LEnvelopeDialog&>(model);
    EXPECT_EQ(dialog.Envelope(), FlatEnvelope());
    dialog.MovePoint(1, 255, 0);
    return true;
  });
  Run(LEffectCommandId::kEnvelope);
  EXPECT_EQ(test::ReadBytes(path), EnvelopeBytes(FadeOutEnvelope()));
  EXPECT_EQ(UndoText(), "Rückgängig Dynamik\tCtrl+Z");
  const std::vector<int32_t> faded = Audio();
  EXPECT_EQ(faded[0], test::TestSample(0, 0, 400000));
  EXPECT_LT(std::abs(faded.back()), 1000);
}

TEST_F(EffectCommandsTest, StereoEffectsRefuseMonoSoundsAndChorusMakesThemStereo) {
  Open(1, 8000);
  const std::vector<int32_t> before = Audio();
  for (LEffectCommandId id : {LEffectCommandId::kStereoPan, LEffectCommandId::kReduceVocals}) {
    ui_.messages.clear();
    Run(id);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text, kStereoOnlyMessage);
    EXPECT_EQ(ui_.messages[0].buttons, LButtons::kOkCancel);
    EXPECT_TRUE(ui_.dialogTitles.empty());
  }
  EXPECT_FALSE(CanUndo(Document()));
  EXPECT_EQ(Audio(), before);

  Document().SetSelection(2000, 3000, 0);
  Run(LEffectCommandId::kChorus);
  EXPECT_EQ(Document().sound.Channels(), 2);
  EXPECT_EQ(Document().Length(), 8000);
  EXPECT_TRUE(UndoCommand(frame_));
  EXPECT_EQ(Document().sound.Channels(), 1);
}


TEST_F(EffectCommandsTest, EchoStoresWhatTheDialogChoseAndTheCursorGoesToTheSelection) {
  Open(2, 8000);
  settings_.Write(kEchoTime, 120);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LEchoDialog&>(model);
    EXPECT_EQ(dialog.timeMs, 120);
    EXPECT_EQ(dialog.gainPercent, 50);
    EXPECT_TRUE(dialog.PreviewEnabled());  // no selection: the whole sound
    dialog.ChoosePreset(1);
    return true;
  });
  const std::vector<int32_t> before = Audio();
  Run(LEffectCommandId::kEcho);
  EXPECT_EQ(settings_.Read(kEchoTime), 50);
  EXPECT_EQ(settings_.Read(kEchoGain), 10);
  EXPECT_EQ(frame_.playedFrom, 0);
  LRef<LSoundStream> expected = MakeEchoTask(50, 10).processor->MakeStream(OpenSegmentStream(test::MakeSound(44100, 2, before)));
  EXPECT_EQ(Audio(), test::ReadAll(*expected));

  // Without playback after effects the cursor still goes to the selection start.
  settings_.Write(kAutoPlaybackAfterEffects, false);
  frame_.playedFrom = -1;
  Document().SetSelection(3000, 4000, 0);
  Run(LEffectCommandId::kPhaser);
  EXPECT_EQ(frame_.playedFrom, -1);
  EXPECT_EQ(Document().cursor, 3000);
}

// --- Compressor and automatic volume control ---

// Passages of 500 ms, quiet and loud, three seconds of stereo.
LRef<LSoundStream> Passages() { return test::Passages(44100, 2, 44100 * 3, 30000, 400000, 500); }

TEST_F(EffectCommandsTest, CompressorShowsStoredValuesStoresTheChoiceAndPlaysAfterwards) {
  Open(44100, 2, test::ReadAll(*Passages()));
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
  Run(LEffectCommandId::kCompressor);
  EXPECT_EQ(ui_.dialogTitles, (std::vector<std::string>{"Dynamic Range Compressor"}));
  EXPECT_EQ(settings_.Read(kCompressorThreshold), -6);
  EXPECT_EQ(settings_.Read(kCompressorRatio), 2);
  EXPECT_EQ(settings_.Read(kCompressorLimit), 3);
  EXPECT_EQ(UndoText(), "Rückgängig Dynamic Range Compressor\tCtrl+Z");
  EXPECT_EQ(frame_.playedFrom, 44100 - 22050);

  // The selection was compressed as the stream effect does it, the rest kept.
  const std::vector<int32_t> after = Audio();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(test::Frames(after, 2, 0, 44100), test::Frames(before, 2, 0, 44100));
  EXPECT_EQ(test::Frames(after, 2, 88200, 44100 * 3), test::Frames(before, 2, 88200, 44100 * 3));
  LRef<LSoundStream> expected = MakeCompressorTask(-6, kCompressorRatios[2].factor, 3).processor->MakeStream(Passages());
  expected->Seek(44100);
  EXPECT_EQ(test::Frames(after, 2, 44100, 88200), test::ReadFrames(*expected, 44100));

  // The next run shows what was stored.
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LCompressorDialog&>(model);
    EXPECT_EQ(dialog.threshold, -6);
    EXPECT_EQ(dialog.ratioIndex, 2);
    EXPECT_EQ(dialog.limit, 3);
    return false;  // cancelled: nothing happens
  });
  Run(LEffectCommandId::kCompressor);
  EXPECT_EQ(Audio(), after);
  EXPECT_TRUE(UndoCommand(frame_));  // one step, back to the sound before
  EXPECT_FALSE(CanUndo(Document()));
  EXPECT_EQ(Audio(), before);
}

TEST_F(EffectCommandsTest, CompressorRatioBeyondTheTableMakesNoUndoStep) {
  Open(2, 8000);
  settings_.Write(kCompressorRatio, 7);
  const std::vector<int32_t> before = Audio();
  Run(LEffectCommandId::kCompressor);
  EXPECT_EQ(ui_.dialogTitles.size(), 1u);
  EXPECT_FALSE(CanUndo(Document()));
  EXPECT_FALSE(Document().modified);
  EXPECT_EQ(Audio(), before);
  EXPECT_EQ(frame_.playedFrom, -1);
}

TEST_F(EffectCommandsTest, CancelledRunsLeaveTheSoundWithOneUndoStep) {
  Open(44100, 2, test::ReadAll(*Passages()));
  const std::vector<int32_t> before = Audio();
  ui_.cancelAtQuestion = 1;
  Run(LEffectCommandId::kCompressor);
  EXPECT_EQ(Audio(), before);
  EXPECT_EQ(UndoText(), "Rückgängig Dynamic Range Compressor\tCtrl+Z");
  EXPECT_EQ(frame_.playedFrom, -1);

  for (int question : {0, 3, 20}) {
    ui_.cancelAtQuestion = question;
    Run(LEffectCommandId::kAutoVolume);
    EXPECT_EQ(Audio(), before);
    EXPECT_EQ(UndoText(), "Rückgängig Automatische Lautstärken Kontrolle\tCtrl+Z");
    EXPECT_EQ(frame_.playedFrom, -1);
  }
  EXPECT_TRUE(ListFolder(TemporaryFolder()).empty());
}


// --- Speed, pitch, rate and channels ---

TEST_F(EffectCommandsTest, SpeedCommandStoresItsValueAndPlaysAfterwards) {
  Open(44100, 2, test::Tone(44100, 2, 66150, 440, 200000, 110));
  Document().SetSelection(33075, 66150, 0);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LSpeedPitchDialog&>(model);
    EXPECT_EQ(dialog.percent, 100);  // nothing stored yet
    dialog.percent = 200;
    return true;
  });
  Run(LEffectCommandId::kSpeedAndPitch);
  EXPECT_EQ(ui_.dialogTitles, (std::vector<std::string>{"Geschwindigkeit und Tonhöhe ändern"}));
  EXPECT_EQ(settings_.Read(kSpSpeedPitch), 200);
  EXPECT_EQ(settings_.Read(kConstPitchSpeed), 100);
  EXPECT_EQ(UndoText(), "Rückgängig Geschwindigkeit und Tonhöhe ändern\tCtrl+Z");
  EXPECT_NEAR(Document().Length(), 33075 + 16538, 1);
  EXPECT_EQ(frame_.playedFrom, 33075 - 44100 / 2);  // half a second before the selection

  // A value above 300 keeps the dialog open (here: the script gives up), nothing changes.
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LSpeedPitchDialog&>(model).percent = 400;
    return true;
  });
  const int32_t length = Document().Length();
  Run(LEffectCommandId::kPitchOnly);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "Geschwindigkeitsänderung in Prozent muss unter 300 liegen.");
  EXPECT_EQ(Document().Length(), length);
  EXPECT_EQ(settings_.Read(kConstSpeedPitch), 100);
}

TEST_F(EffectCommandsTest, RateCommandConvertsWithoutPreRollAndUndoes) {
  Open(44100, 2, test::Tone(44100, 2, 66150, 440, 200000, 110));
  const std::vector<int32_t> before = Audio();
  Document().SetSelection(4410, 8820, 4410);
  ui_.dialogs.push_back([](LDialogModel& model) {
    EXPECT_EQ(dynamic_cast<LSampleRateDialog&>(model).sampleRate, 44100);  // the document's rate
    return true;  // unchanged: nothing happens
  });
  Run(LEffectCommandId::kConvertRate);
  EXPECT_FALSE(CanUndo(Document()));

  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LSampleRateDialog&>(model).sampleRate = 48000;
    return true;
  });
  Run(LEffectCommandId::kConvertRate);
  EXPECT_EQ(Document().sound.SampleRate(), 48000);
  EXPECT_EQ(Document().Length(), (66150 * 37 + 33) / 34);  // the step 34 / 37 runs 0.018 % fast
  EXPECT_EQ(Document().selectionStart, 4800);
  EXPECT_EQ(frame_.playedFrom, 4800);  // at the selection start: no pre-roll
  EXPECT_EQ(UndoText(), "Rückgängig Samplerate konvertieren\tCtrl+Z");
  EXPECT_TRUE(UndoCommand(frame_));
  EXPECT_EQ(Document().sound.SampleRate(), 44100);
  EXPECT_EQ(Audio(), before);
}

TEST_F(EffectCommandsTest, ChannelCommandsKeepTheLeftChannelOrDoubleIt) {
  Open(2, 20000);
  const std::vector<int32_t> before = Audio();
  Document().displayMode = 1;
  Run(LEffectCommandId::kConvertStereo);  // already stereo: nothing
  EXPECT_FALSE(CanUndo(Document()));

  Run(LEffectCommandId::kConvertMono);
  EXPECT_EQ(Document().sound.Channels(), 1);
  EXPECT_EQ(Document().displayMode, 0);
  EXPECT_EQ(UndoText(), "Rückgängig Convert Channels\tCtrl+Z");
  const std::vector<int32_t> mono = Audio();
  ASSERT_EQ(mono.size(), before.size() / 2);
  for (size_t f = 0; f < mono.size(); ++f) ASSERT_EQ(mono[f], before[2 * f]);

  Run(LEffectCommandId::kConvertStereo);
  const std::vector<int32_t> stereo = Audio();
  for (size_t f = 0; f < mono.size(); ++f) {
    ASSERT_EQ(stereo[2 * f], mono[f]);
    ASSERT_EQ(stereo[2 * f + 1], mono[f]);
  }
}

// A conversion whose new block would not fit where the blocks live is refused before it starts.
TEST_F(EffectCommandsTest, ConversionThatCannotFitIsRefused) {
  Open(1, 20000);
  const std::vector<int32_t> before = Audio();
  ui_.freeBytes = 20000 * 2 * 4;  // the mono audio, but not twice as much
  Run(LEffectCommandId::kConvertStereo);
  EXPECT_EQ(Document().sound.Channels(), 1);
  EXPECT_EQ(Audio(), before);
  EXPECT_FALSE(CanUndo(Document()));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, LowSpaceMessage("Convert Channels"));
}

}  // namespace
}  // namespace klangor
