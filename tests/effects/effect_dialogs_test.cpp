// The effects' dialog models: the values each accepts and the exact message for each it
// refuses, out-of-range start values, and the previews.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "effects/amplify.h"
#include "effects/normalize.h"
#include "effects/compressor.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/chorus.h"
#include "effects/flanger.h"
#include "effects/phaser.h"
#include "effects/rate_commands.h"
#include "effects/reverb.h"
#include "effects/speed_pitch.h"
#include "effects/stereo_pan.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

using Mode = LSpeedPitchMode;

const LSegmentList kNoSelection;

// What a dialog opened with `args` says to its values.
template <class Dialog, class... Args>
std::string Check(Args... args) {
  Dialog dialog(args..., kNoSelection);
  return dialog.Validate();
}

TEST(EffectDialogTest, ValidateAcceptsTheRangesAndNamesWhatIsWrong) {
  const std::string echoTime = "Echo muss zwischen 10 and 3000ms. Bitte noch einmal versuchen.";
  const std::string reverbTime = "Verzögerung muss zwischen 50 und 1000 liegen. Bitte noch einmal versuchen.";
  const std::string gain = "Steigerung in Prozent muß zwischen 0 und 100 liegen.";
  const std::string degree = "Verzögerungszeit muß zwischen 0.0 und 1.0 Millisekunden liegen";
  const std::string rate = "Samplerate muss zwischen 6000 und 96000 Samples pro Sekunde liegen.";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {Check<LAmplifyDialog>(400), ""},
      {Check<LAmplifyDialog>(401), "Normalisierungslevel muss be unter 400% liegen. Bitte noch einmal versuchen."},
      {Check<LNormalizeDialog>(100), ""},
      {Check<LNormalizeDialog>(101), "Normalisierungslevel muss unter 100% liegen. Bitte noch einmal versuchen."},
      {Check<LEchoDialog>(800, 50), ""},
      {Check<LEchoDialog>(9, 50), echoTime},
      {Check<LEchoDialog>(3000, 50), echoTime},
      {Check<LEchoDialog>(2999, 100), "Echo Lautstärke muss unter 100% liegen. Bitte noch einmal versuchen."},
      {Check<LReverbDialog>(100, 50), ""},
      {Check<LReverbDialog>(101, 50), "Hall Level muss unter 100 kiegen. Bitte noch einmal versuchen."},
      {Check<LReverbDialog>(100, 49), reverbTime},
      {Check<LReverbDialog>(100, 1001), reverbTime},
      {Check<LPhaserDialog>(5, 100), ""},
      {Check<LPhaserDialog>(11, 100), "Verzögerungszeit muß zwischen 0 und 10 Millisekunden liegen"},
      {Check<LPhaserDialog>(0, -1), gain},
      {Check<LFlangerDialog>(5, "0.5", 50, 75), ""},
      {Check<LFlangerDialog>(5, "5.01", 50, 75), "Die Modulation (der Verzögerung) muß zwischen 0 und 5Hz liegen."},
      {Check<LFlangerDialog>(5, "4,5", 50, 75), ""},  // the C conversion stops at the comma: 4
      {Check<LFlangerDialog>(5, "4,5", 101, 75), "Tiefe in Prozent muß zwischen 0 und 100 liegen."},
      {Check<LFlangerDialog>(5, "4,5", 0, 101), gain},
      {Check<LChorusDialog>(40, "0.5", 5, 70), ""},
      {Check<LChorusDialog>(9, "0.5", 5, 70), "Verzögerungszeit muß zwischen 0 und 100 Millisekunden liegen"},
      {Check<LChorusDialog>(100, "2.5", 5, 70), "Modulation (der Verzögerung) muß zwischen 0 und 2Hz liegen."},
      {Check<LChorusDialog>(100, "2", 31, 70), "Tiefe in Prozent muß zwischen 0 und 30 liegen."},
      {Check<LDistortionDialog>("0.5", -3), ""},
      {Check<LDistortionDialog>("1.1", -3), degree},
      {Check<LDistortionDialog>("-0.1", -3), degree},
      {Check<LSpeedPitchDialog>(Mode::kPitchOnly, 300), ""},
      {Check<LSpeedPitchDialog>(Mode::kPitchOnly, 301), "Geschwindigkeitsänderung in Prozent muss unter 300 liegen."},
      {LSampleRateDialog(44100).Validate(), ""},
      {LSampleRateDialog(6000).Validate(), ""},
      {LSampleRateDialog(5999).Validate(), rate},
      {LSampleRateDialog(96001).Validate(), rate},
      {LSampleRateDialog(0).Validate(), rate},
      // The ends the messages leave unsaid: no negative percentages, speeds from 10 %.
      {Check<LAmplifyDialog>(-1), "Normalisierungslevel muss be unter 400% liegen. Bitte noch einmal versuchen."},
      {Check<LEchoDialog>(800, -1), "Echo Lautstärke muss unter 100% liegen. Bitte noch einmal versuchen."},
      {Check<LSpeedPitchDialog>(Mode::kSpeedOnly, 10), ""},
      {Check<LSpeedPitchDialog>(Mode::kSpeedOnly, 9), "Geschwindigkeitsänderung in Prozent muss unter 300 liegen."},
  };
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
}

// The first entry of a preset list changes nothing; start values beyond a slider's range are
// brought to its nearest end; a decimal text stops at its first character that is not one.
TEST(EffectDialogTest, PresetsAndStartValues) {
  LAmplifyDialog amplify(401, kNoSelection);
  amplify.ChoosePreset(0);
  EXPECT_EQ(amplify.gainPercent, 401);
  LFlangerDialog flanger(0, "4,5", 0, 0, kNoSelection);
  EXPECT_EQ(flanger.Values().rateHz, 4.0);
  flanger.ChoosePreset(2);
  EXPECT_EQ(flanger.Values().rateHz, 0.5);
  LDistortionDialog distortion("0.5", -3, kNoSelection);
  distortion.SetLevel(10);
  EXPECT_EQ(distortion.Level(), 3);
  EXPECT_EQ(LDistortionDialog("0.1", -90, kNoSelection).Level(), -20);
  EXPECT_EQ(LStereoPanDialog(170, kNoSelection).Value(), 100);
  EXPECT_EQ(LStereoPanDialog(-3, kNoSelection).Value(), 0);

  LCompressorDialog compressor(-200, 9, 300, kNoSelection);
  EXPECT_EQ(compressor.threshold, LCompressorDialog::kThresholdMin);
  EXPECT_EQ(compressor.limit, LCompressorDialog::kLimitMax);
  EXPECT_EQ(compressor.ratioIndex, 9);  // shown as no selection, kept as it was
  compressor.ChoosePreset(0);
  EXPECT_EQ(compressor.ratioIndex, 9);
}

TEST(EffectDialogTest, PreviewsPlayTheEffectOnTheSelection) {
  const std::vector<int32_t> samples = test::TestSamples(2, 3000);
  const LSegmentList selection = test::MakeSound(8000, 2, samples);
  // The dialog keeps its own copy of the selection: the list it was given may go.
  auto echo = std::make_unique<LEchoDialog>(100, 50, test::MakeSound(8000, 2, samples));
  ASSERT_TRUE(echo->PreviewEnabled());
  LRef<LSoundStream> echoed = MakeEchoTask(100, 50).processor->MakeStream(OpenSegmentStream(selection));
  EXPECT_EQ(test::ReadAll(*echo->PreviewStream()), test::ReadAll(*echoed));
  const std::vector<int32_t> halved = test::ReadAll(*LAmplifyDialog(50, selection).PreviewStream());
  EXPECT_EQ(halved[10], (samples[10] * ((kUnityGain / 100 * 50) >> 15)) >> 9);
  LCompressorDialog compressor(-6, 2, 3, selection);
  LCompressorStream compressed(OpenSegmentStream(selection), -6, kCompressorRatios[2].factor);
  EXPECT_EQ(test::ReadFrames(*compressor.PreviewStream(), 3000), test::ReadFrames(compressed, 3000));
  const LSegmentList tone = test::MakeSound(8000, 1, test::Tone(8000, 1, 800, 440, 1000));
  LSpeedPitchDialog speed(Mode::kSpeedOnly, 200, tone);
  EXPECT_TRUE(speed.PreviewEnabled());
  EXPECT_NEAR(speed.PreviewStream()->Length(), 400, 32);
  // Without a selection there is nothing to preview.
  EXPECT_FALSE(LReverbDialog(100, 50, kNoSelection).PreviewEnabled());
  EXPECT_FALSE(LCompressorDialog(0, 0, 0, kNoSelection).PreviewEnabled());
}

}  // namespace
}  // namespace klangor
