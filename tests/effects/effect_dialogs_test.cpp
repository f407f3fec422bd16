// The dialog models of the gain, echo and modulation effects (ranges, messages, presets) and
// their menu commands over the headless frame.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "app/edit_frame.h"
#include "app/headless_frame.h"
#include "app/headless_ui.h"
#include "app/settings_keys.h"
#include "effects/amplify_normalize.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/echo_commands.h"
#include "effects/effect_command.h"
#include "effects/envelope.h"
#include "effects/gain_commands.h"
#include "effects/modulation.h"
#include "effects/reverb.h"
#include "effects/stereo_pan.h"
#include "platform/paths.h"
#include "store/segment_stream.h"
#include "store/undo.h"
#include "support/test_env.h"
#include "support/test_streams.h"
#include "effect_reference.h"

namespace klangor {
namespace {

const LSegmentList kNoSelection;

TEST(EffectDialogTest, AmplifyAndNormalize) {
  LAmplifyDialog amplify(100, kNoSelection);
  EXPECT_EQ(amplify.Title(), "Anpassen");
  EXPECT_EQ(amplify.Validate(), "");
  amplify.gainPercent = 401;
  EXPECT_EQ(amplify.Validate(), "Normalisierungslevel muss be unter 400% liegen. Bitte noch einmal versuchen.");
  amplify.gainPercent = 400;
  EXPECT_EQ(amplify.Validate(), "");
  const std::vector<int32_t> gains{400, 25, 50, 200, 300};
  for (int i = 0; i < 5; ++i) {
    amplify.ChoosePreset(i);
    EXPECT_EQ(amplify.gainPercent, gains[static_cast<size_t>(i)]);
  }
  EXPECT_STREQ(LAmplifyDialog::kPresets[0], "Voreinstellungen Wählen");
  EXPECT_STREQ(LAmplifyDialog::kPresets[4], "Dreifache Lautstärke");

  LNormalizeDialog normalize(100, kNoSelection);
  EXPECT_EQ(normalize.Validate(), "");
  normalize.levelPercent = 101;
  EXPECT_EQ(normalize.Validate(), "Normalisierungslevel muss unter 100% liegen. Bitte noch einmal versuchen.");
  const std::vector<int32_t> levels{101, 20, 40, 75, 100};
  for (int i = 0; i < 5; ++i) {
    normalize.ChoosePreset(i);
    EXPECT_EQ(normalize.levelPercent, levels[static_cast<size_t>(i)]);
  }
  EXPECT_STREQ(LNormalizeDialog::kPresets[1], "Sehr Leises Audio Level");
}

TEST(EffectDialogTest, EchoAndReverbRanges) {
  LEchoDialog echo(800, 50, kNoSelection);
  EXPECT_EQ(echo.Validate(), "");
  for (int32_t time : {9, 3000}) {
    echo.timeMs = time;
    EXPECT_EQ(echo.Validate(), "Echo muss zwischen 10 and 3000ms. Bitte noch einmal versuchen.");
  }
  echo.timeMs = 2999;
  echo.gainPercent = 100;
  EXPECT_EQ(echo.Validate(), "Echo Lautstärke muss unter 100% liegen. Bitte noch einmal versuchen.");
  echo.ChoosePreset(2);
  EXPECT_EQ(echo.timeMs, 400);
  EXPECT_EQ(echo.gainPercent, 40);
  echo.ChoosePreset(3);
  EXPECT_EQ(echo.timeMs, 750);
  echo.ChoosePreset(0);
  EXPECT_EQ(echo.timeMs, 750);
  EXPECT_STREQ(LEchoDialog::kPresets[2], "Höhle");

  LReverbDialog reverb(100, 50, kNoSelection);
  EXPECT_EQ(reverb.Validate(), "");
  reverb.levelPercent = 101;
  EXPECT_EQ(reverb.Validate(), "Hall Level muss unter 100 kiegen. Bitte noch einmal versuchen.");
  reverb.levelPercent = 100;
  for (int32_t time : {49, 1001}) {
    reverb.timeMs = time;
    EXPECT_EQ(reverb.Validate(), "Verzögerung muss zwischen 50 und 1000 liegen. Bitte noch einmal versuchen.");
  }
  reverb.ChoosePreset(4);
  EXPECT_EQ(reverb.levelPercent, 100);
  EXPECT_EQ(reverb.timeMs, 1000);
  reverb.ChoosePreset(2);
  EXPECT_EQ(reverb.levelPercent, 50);
  EXPECT_EQ(reverb.timeMs, 250);
}

TEST(EffectDialogTest, ModulationRangesAndPresets) {
  LPhaserDialog phaser(5, 100, kNoSelection);
  EXPECT_EQ(phaser.Validate(), "");
  phaser.timeMs = 11;
  EXPECT_EQ(phaser.Validate(), "Verzögerungszeit muß zwischen 0 und 10 Millisekunden liegen");
  phaser.timeMs = 0;
  phaser.gainPercent = -1;
  EXPECT_EQ(phaser.Validate(), "Steigerung in Prozent muß zwischen 0 und 100 liegen.");
  phaser.ChoosePreset(3);
  EXPECT_EQ(phaser.timeMs, 7);
  EXPECT_EQ(phaser.gainPercent, 50);

  LFlangerDialog flanger(5, "0.5", 50, 75, kNoSelection);
  EXPECT_EQ(flanger.Validate(), "");
  flanger.modulation = "5.01";
  EXPECT_EQ(flanger.Validate(), "Die Modulation (der Verzögerung) muß zwischen 0 und 5Hz liegen.");
  flanger.modulation = "4,5";  // the C conversion stops at the comma: 4
  EXPECT_EQ(flanger.Validate(), "");
  flanger.depthPercent = 101;
  EXPECT_EQ(flanger.Validate(), "Tiefe in Prozent muß zwischen 0 und 100 liegen.");
  flanger.depthPercent = 0;
  flanger.gainPercent = 101;
  EXPECT_EQ(flanger.Validate(), "Steigerung in Prozent muß zwischen 0 und 100 liegen.");
  flanger.ChoosePreset(2);
  EXPECT_EQ(flanger.timeMs, 5);
  EXPECT_EQ(flanger.modulation, "0.5");
  EXPECT_EQ(flanger.depthPercent, 70);
  EXPECT_EQ(flanger.gainPercent, 90);
  EXPECT_EQ(flanger.Values().rateHz, 0.5);

  LChorusDialog chorus(40, "0.5", 5, 70, kNoSelection);
  EXPECT_EQ(chorus.Validate(), "");
  chorus.timeMs = 9;
  EXPECT_EQ(chorus.Validate(), "Verzögerungszeit muß zwischen 0 und 100 Millisekunden liegen");
  chorus.timeMs = 100;
  chorus.modulation = "2.5";
  EXPECT_EQ(chorus.Validate(), "Modulation (der Verzögerung) muß zwischen 0 und 2Hz liegen.");
  chorus.modulation = "2";
  chorus.depthPercent = 31;
  EXPECT_EQ(chorus.Validate(), "Tiefe in Prozent muß zwischen 0 und 30 liegen.");
  chorus.ChoosePreset(2);
  EXPECT_EQ(chorus.timeMs, 65);
  EXPECT_EQ(chorus.gainPercent, 80);
  EXPECT_EQ(chorus.depthPercent, 5);
  EXPECT_STREQ(LChorusDialog::kPresets[4], "Leicht - Lange Verzögerung");

  LDistortionDialog distortion("0.5", -3, kNoSelection);
  EXPECT_EQ(distortion.Validate(), "");
  for (const char* degree : {"1.1", "-0.1"}) {
    distortion.degree = degree;
    EXPECT_EQ(distortion.Validate(), "Verzögerungszeit muß zwischen 0.0 und 1.0 Millisekunden liegen");
  }
  distortion.ChoosePreset(2);
  EXPECT_EQ(distortion.degree, "0.6");
  EXPECT_EQ(distortion.Level(), -8);
  distortion.SetLevel(10);
  EXPECT_EQ(distortion.Level(), 3);
  EXPECT_EQ(LDistortionDialog("0.1", -90, kNoSelection).Level(), -20);

  EXPECT_EQ(LStereoPanDialog(170, kNoSelection).Value(), 100);
  EXPECT_EQ(LStereoPanDialog(-3, kNoSelection).Value(), 0);
}

TEST(EffectDialogTest, PreviewPlaysTheEffectOnTheSelection) {
  const std::vector<int32_t> samples = test::TestSamples(2, 3000);
  const LSegmentList selection = test::MakeSound(8000, 2, samples);
  LEchoDialog echo(100, 50, selection);
  ASSERT_TRUE(echo.PreviewEnabled());
  LRef<LSoundStream> expected = MakeEchoTask(100, 50).processor->MakeStream(OpenSegmentStream(selection));
  EXPECT_EQ(test::ReadAll(*echo.PreviewStream()), test::ReadAll(*expected));
  LAmplifyDialog amplify(50, selection);
  const std::vector<int32_t> halved = test::ReadAll(*amplify.PreviewStream());
  EXPECT_EQ(halved[10], (samples[10] * ((kUnityGain / 100 * 50) >> 15)) >> 9);
  EXPECT_FALSE(LReverbDialog(100, 50, kNoSelection).PreviewEnabled());
}

// --- The menu commands ---

class EffectCommandsTest : public ::testing::Test {
 protected:
  EffectCommandsTest()
      : folder_(test::TempPath("-effect-commands")),
        settings_(folder_ + "/user.ini", folder_ + "/machine.ini"),
        context_{frame_, ui_, settings_} {
    EnsureFolder(folder_);
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr) oldData_ = data;
    ::setenv("XDG_DATA_HOME", (folder_ + "/data").c_str(), 1);
    AddGainCommands(table_);
    AddEchoCommands(table_);
  }

  ~EffectCommandsTest() override {
    if (oldData_) {
      ::setenv("XDG_DATA_HOME", oldData_->c_str(), 1);
    } else {
      ::unsetenv("XDG_DATA_HOME");
    }
  }

  void Open(int channels, int32_t frames) {
    auto document = MakeRef<LSoundDocument>();
    document->sound = test::MakeSound(44100, channels, test::TestSamples(channels, frames));
    document->LengthChanged();
    frame_.OpenDocument(document);
    frame_.requests.clear();
  }

  LSoundDocument& Document() { return *frame_.ActiveDocument(); }
  std::vector<int32_t> Audio() { return test::ReadAll(*OpenSegmentStream(Document().sound)); }
  void Run(int id) { ASSERT_TRUE(table_.Dispatch(id, context_)); }

  std::string folder_;
  std::optional<std::string> oldData_;
  LHeadlessFrame frame_;
  LHeadlessUi ui_;
  LSettingsStore settings_;
  LCommandTable table_;
  LCommandContext context_;
};

TEST_F(EffectCommandsTest, MenuEntries) {
  const std::vector<std::pair<int, std::string>> entries = {
      {4018, "Umkehren"},          {4030, "Stimmen reduzieren"},     {kCmdAmplify, "Anpassen..."},
      {kCmdNormalize, "Normalisieren..."}, {kCmdFadeIn, "Einblenden"}, {kCmdFadeOut, "Ausblenden"},
      {kCmdFadeOutAndTrim, "Ausblenden und trimmen"}, {kCmdEnvelope, "Dynamik..."},
      {kCmdDcOffset, "DCOffset Correction"}, {kCmdStereoPan, "Stereo Regler..."}, {kCmdEcho, "Echo..."},
      {kCmdReverb, "Hall..."},     {kCmdPhaser, "Phaser..."},        {kCmdFlanger, "Flanger"},
      {kCmdChorus, "Chorus..."},   {kCmdDistortion, "Verzerrung"},   {kCmdAmRadio, "AM Radioeffekt"},
      {kCmdTelephone, "Telefoneffekt"}};
  for (const auto& [id, text] : entries) {
    ASSERT_NE(table_.Find(id), nullptr) << id;
    EXPECT_EQ(table_.Find(id)->menuText, text);
  }
  EXPECT_EQ(table_.Commands().size(), entries.size());
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
  Run(kCmdAmplify);
  EXPECT_EQ(settings_.Read(kAmplifyGain), 200);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Anpassen\tCtrl+Z");
  EXPECT_EQ(Document().sound.Segments()[1].gain, kUnityGain / 100 * 200);
  EXPECT_EQ(frame_.playedFrom, 50000 - 44100);

  // A value the dialog refuses shows its message and changes nothing.
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LAmplifyDialog&>(model).gainPercent = 500;
    return true;
  });
  Run(kCmdAmplify);
  EXPECT_EQ(ui_.messages.back().text, LAmplifyDialog::kGainMessage);
  EXPECT_EQ(settings_.Read(kAmplifyGain), 200);
}

TEST_F(EffectCommandsTest, FadesRunWithoutPlaybackAndTrimCuts) {
  Open(1, 30000);
  const std::vector<int32_t> before = Audio();
  Document().SetSelection(1000, 2000, 0);
  Run(kCmdFadeIn);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Fade In\tCtrl+Z");
  EXPECT_EQ(frame_.playedFrom, -1);
  EXPECT_EQ(Audio()[1000], 0);
  EXPECT_EQ(Audio()[999], before[999]);
  Run(kCmdFadeOut);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Fade Out\tCtrl+Z");
  EXPECT_EQ(frame_.playedFrom, -1);

  Document().SetSelection(10000, 20000, 0);
  Run(kCmdFadeOutAndTrim);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Ausblenden und Trimmen\tCtrl+Z");
  EXPECT_EQ(Document().Length(), 20000);
  EXPECT_EQ(frame_.playedFrom, 0);  // half a second before frame 10000 lies before 0
  EXPECT_TRUE(UndoCommand(frame_));
  EXPECT_EQ(Document().Length(), 30000);
}

TEST_F(EffectCommandsTest, DynamikReadsAndWritesTheEnvelopeFile) {
  Open(2, 20000);
  Run(kCmdEnvelope);  // flat: the file is created, the sound stays
  const std::string path = folder_ + "/data/Tessaly Audio/Klangor/envelope.dat";
  EXPECT_EQ(test::ReadBytes(path), EnvelopeBytes(FlatEnvelope()));
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LEnvelopeDialog&>(model);
    EXPECT_EQ(dialog.Envelope(), FlatEnvelope());
    dialog.MovePoint(1, 255, 0);
    return true;
  });
  Run(kCmdEnvelope);
  EXPECT_EQ(test::ReadBytes(path), EnvelopeBytes(FadeOutEnvelope()));
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Dynamik\tCtrl+Z");
  const std::vector<int32_t> faded = Audio();
  EXPECT_EQ(faded[0], test::TestSample(0, 0, 400000));
  EXPECT_LT(std::abs(faded.back()), 1000);
}

TEST_F(EffectCommandsTest, StereoEffectsRefuseMonoSounds) {
  Open(1, 5000);
  const std::vector<int32_t> before = Audio();
  for (int id : {kCmdStereoPan, kCmdReduceVocals}) {
    ui_.messages.clear();
    Run(id);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text, kStereoOnlyMessage);
    EXPECT_EQ(ui_.messages[0].caption, "Datei muß in Stereo konvertiert werden");
    EXPECT_EQ(ui_.messages[0].buttons, LButtons::kOkCancel);
    EXPECT_TRUE(ui_.dialogTitles.empty());
  }
  EXPECT_FALSE(CanUndo(Document()));
  EXPECT_EQ(Audio(), before);
}

TEST_F(EffectCommandsTest, StereoPanAndReduceVocalsOnStereo) {
  Open(2, 5000);
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LStereoPanDialog&>(model).SetValue(0);
    return true;
  });
  Run(kCmdStereoPan);
  EXPECT_EQ(settings_.Read(kStereoPan), 0);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Stereo Pan\tCtrl+Z");
  EXPECT_EQ(Audio()[1], 0);  // the right channel is silent at 0
  Run(kCmdReduceVocals);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Stimmen reduzieren\tCtrl+Z");
  EXPECT_EQ(Document().sound.Channels(), 1);
  EXPECT_TRUE(UndoCommand(frame_));
  EXPECT_EQ(Document().sound.Channels(), 2);
}

TEST_F(EffectCommandsTest, EchoFamilyStoresWhatTheDialogsChose) {
  Open(2, 8000);
  settings_.Write(kEchoTime, 120);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LEchoDialog&>(model);
    EXPECT_EQ(dialog.timeMs, 120);
    EXPECT_EQ(dialog.gainPercent, 50);
    dialog.ChoosePreset(1);
    return true;
  });
  const std::vector<int32_t> before = Audio();
  Run(kCmdEcho);
  EXPECT_EQ(settings_.Read(kEchoTime), 50);
  EXPECT_EQ(settings_.Read(kEchoGain), 10);
  EXPECT_EQ(UndoMenuText(Document()), "Rückgängig Echo\tCtrl+Z");
  LRef<LSoundStream> expected = MakeEchoTask(50, 10).processor->MakeStream(OpenSegmentStream(test::MakeSound(44100, 2, before)));
  EXPECT_EQ(Audio(), test::ReadAll(*expected));

  const std::vector<std::pair<int, std::string>> undoNames = {
      {kCmdReverb, "Reverb"}, {kCmdPhaser, "Phaser"}, {kCmdFlanger, "Flanger"}, {kCmdChorus, "Chorus"},
      {kCmdDistortion, "Verzerrung"}, {kCmdAmRadio, "AM Radioeffekt"}, {kCmdTelephone, "Telefoneffekt"},
      {kCmdDcOffset, "DC Offset Correction"}, {kCmdReverse, "Umkehren"}, {kCmdNormalize, "Normalisieren"}};
  for (const auto& [id, name] : undoNames) {
    Run(id);
    EXPECT_EQ(UndoMenuText(Document()), "Rückgängig " + name + "\tCtrl+Z");
  }
  EXPECT_EQ(settings_.Read(kFlangerMod), "0.5");
  EXPECT_EQ(settings_.Read(kDistortionDegree), "0.5");
  EXPECT_EQ(settings_.Read(kChorusTime), 40);

  // A refused value keeps the sound and the stored values.
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LChorusDialog&>(model).modulation = "3";
    return true;
  });
  const std::vector<int32_t> now = Audio();
  Run(kCmdChorus);
  EXPECT_EQ(ui_.messages.back().text, LChorusDialog::kModulationMessage);
  EXPECT_EQ(Audio(), now);
}

TEST_F(EffectCommandsTest, ChorusMakesAMonoDocumentStereo) {
  Open(1, 8000);
  Document().SetSelection(2000, 3000, 0);
  Run(kCmdChorus);
  EXPECT_EQ(Document().sound.Channels(), 2);
  EXPECT_EQ(Document().Length(), 8000);
  EXPECT_TRUE(UndoCommand(frame_));
  EXPECT_EQ(Document().sound.Channels(), 1);
}

}  // namespace
}  // namespace klangor
