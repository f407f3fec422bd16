// The high-pass filter and the equalizer: responses against the analytic biquad and the gain
// mask, the filter shapes and curve files, the equalizer's dialog and command.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "effects/effect_commands.h"
#include "effects/equalizer.h"
#include "effects/equalizer_curve.h"
#include "effects/fir_filter.h"
#include "effects/high_pass.h"
#include "frame/headless_frame.h"
#include "frame/headless_ui.h"
#include "platform/paths.h"
#include "platform/small_file.h"
#include "settings/settings_keys.h"
#include "store/undo.h"
#include "support/command_fixture.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

constexpr int32_t kRate = 44100;

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// The amplitude of a tone at `freq` after `make` filtered it, over the frames the filter has
// settled on.
double ToneGain(double freq, const std::function<LRef<LSoundStream>(LRef<LSoundStream>)>& make, int32_t frames = 2 * kRate) {
  constexpr double kAmplitude = 400000.0;
  LRef<LSoundStream> stream = make(test::ToneStream(kRate, 1, frames, freq, kAmplitude));
  const std::vector<int32_t> out = test::ReadFrames(*stream, frames);
  const std::vector<double> middle = test::Channel(out, 1, 0, frames / 4, frames - frames / 4);
  return test::Amplitude(middle, kRate, freq) / kAmplitude;
}

// |H(e^iw)| of the biquad with the Q24 coefficients.
double BiquadGain(const LHighPassCoefficients& k, double freq) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * test::kPi * freq / kRate);
  const std::complex<double> z2 = z1 * z1;
  const double s = 1.0 / 16777216.0;
  return std::abs((k.b0 * s + k.b1 * s * z1 + k.b0 * s * z2) / (1.0 + k.a1 * s * z1 + k.a2 * s * z2));
}

TEST(HighPassTest, ResponseMatchesTheBiquadAtHalfDoubleAndTheCutoff) {
  for (int32_t cutoff : {100, 1000, 5000}) {
    const LHighPassCoefficients k = DesignHighPass(cutoff, kRate);
    for (double freq : {cutoff / 2.0, double(cutoff), cutoff * 2.0}) {
      SCOPED_TRACE(std::to_string(cutoff) + " Hz at " + std::to_string(freq));
      const double gain = ToneGain(freq, [&](LRef<LSoundStream> in) {
        return MakeHighPassTask(cutoff).processor->MakeStream(std::move(in));
      });
      EXPECT_NEAR(Db(gain), Db(BiquadGain(k, freq)), 0.5);
    }
    EXPECT_NEAR(Db(BiquadGain(k, cutoff)), -3.0, 0.1);
  }
}

TEST(HighPassTest, DesignRulesAndDcDecay) {
  // Cutoffs that are not positive and bad rates fall back to 10 Hz and 44100 Hz.
  const LHighPassCoefficients ten = DesignHighPass(10, 44100);
  for (auto [cutoff, rate] : {std::pair{0, 44100}, std::pair{-5, 44100}, std::pair{10, 0}}) {
    const LHighPassCoefficients k = DesignHighPass(cutoff, rate);
    EXPECT_EQ(k.a1, ten.a1);
    EXPECT_EQ(k.b0, ten.b0);
  }
  // A constant input decays to 0 at 250 Hz, up to what the truncating Q24 products leave
  // standing (below 2 LSB of 16-bit audio).
  LRef<LSoundStream> stream = MakeHighPassTask(250).processor->MakeStream(
      MakeRef<test::LFunctionStream>(kRate, 2, kRate, [](int64_t, int) { return 300000; }, 2097152));
  EXPECT_EQ(stream->FullScale(), kHighPassFullScale);
  const std::vector<int32_t> out = test::ReadFrames(*stream, kRate);
  for (size_t i = 2 * 20000; i < out.size(); ++i) ASSERT_LE(std::abs(out[i]), 32) << i;
}

// --- The equalizer's mask and FIR ---

// (The FIR filter's own tests check the flat mask's timing and the doubled DC.)
TEST(EqualizerTest, FlatCurveHasUnityGainUpToTheTapsRipple) {
  const LFirMask flat = EqualizerMask(FlatEnvelope(), kRate);
  for (uint8_t level : flat) ASSERT_EQ(level, 128);
  // The ripple of the whole-number taps falls with the frequency (about 0.3 dB at 100 Hz).
  const auto eq = [&](LRef<LSoundStream> in) { return MakeFirStream(std::move(in), flat); };
  for (double freq : {1000.0, 7000.0, 15000.0}) EXPECT_NEAR(Db(ToneGain(freq, eq)), 0.0, 0.04) << freq;
}

// The taps are whole numbers (1/32768 of unity), so a band at silence keeps about 2^-10 of
// its tone: 55 to 64 dB down, depending on the band.
TEST(EqualizerTest, ABandAtSilenceRemovesItsToneAndSparesOneTwoOctavesAway) {
  for (int band : {47, 93, 377, 1200}) {
    SCOPED_TRACE(band);
    const double centre = band * (kRate / 2.0) / kFirBands;
    LFirMask mask;
    mask.fill(128);
    mask[static_cast<size_t>(band)] = 0;
    const auto eq = [&](LRef<LSoundStream> in) { return MakeFirStream(std::move(in), mask); };
    EXPECT_LT(Db(ToneGain(centre, eq)), -57.0);
    EXPECT_NEAR(Db(ToneGain(band < 500 ? 4 * centre : centre / 4, eq)), 0.0, 0.1);
  }
}

TEST(EqualizerTest, CurveToMask) {
  // Linear between the points' bands, the last level after the last band.
  const auto p5 = static_cast<uint8_t>(EqualizerPosition(5000));
  const auto p10 = static_cast<uint8_t>(EqualizerPosition(10000));
  const LEqualizerCurve curve = {{0, 128}, {p5, 128}, {p10, 0}, {255, 0}};
  const LFirMask mask = EqualizerMask(curve, kRate);
  const int b5 = static_cast<int>(int64_t{EqualizerHz(p5)} * 4096 / kRate);
  const int b10 = static_cast<int>(int64_t{EqualizerHz(p10)} * 4096 / kRate);
  EXPECT_EQ(mask[static_cast<size_t>(b5 - 1)], 128);
  EXPECT_EQ(mask[static_cast<size_t>(b5)], 128);
  EXPECT_EQ(mask[static_cast<size_t>((b5 + b10) / 2)], 128 - 128 * ((b5 + b10) / 2 - b5) / (b10 - b5));
  EXPECT_EQ(mask[static_cast<size_t>(b10)], 0);
  EXPECT_EQ(mask[2047], 0);
  // One point gives a flat mask at its level; a first point past 0 gives its level below it.
  for (uint8_t level : EqualizerMask({{40, 77}}, kRate)) ASSERT_EQ(level, 77);
  EXPECT_EQ(EqualizerMask({{100, 50}, {255, 128}}, kRate)[0], 50);
  // At 8000 Hz the pair that reaches past the last band ramps over the bands there are.
  EXPECT_EQ(EqualizerMask({{0, 10}, {255, 200}}, 8000)[2047], 10 + (2047 * 190) / 2048);
  // The frequency mapping's ends and bounds.
  EXPECT_EQ(EqualizerHz(0), 0);
  EXPECT_EQ(EqualizerHz(255), 19999);  // 2.77258872 lies just below ln 16
  EXPECT_EQ(EqualizerPosition(20000), 255);
  EXPECT_EQ(EqualizerPosition(1e9), 255);
  EXPECT_EQ(EqualizerPosition(-1e9), 0);
  EXPECT_EQ(LevelOfPercent(100), 127);
  EXPECT_EQ(LevelOfPercent(200), 255);
  EXPECT_EQ(LevelOfPercent(-3), 0);
}

TEST(EqualizerTest, ShapesWithTheirClamps) {
  const auto pos = [](int hz) { return static_cast<uint8_t>(EqualizerPosition(hz)); };
  using S = LEqualizerShape;
  const LEqualizerCurve bandPass = {{0, 63}, {pos(7000), 63}, {pos(8000), 127}, {pos(12000), 127}, {pos(13000), 63}, {255, 63}};
  EXPECT_EQ(ShapeCurve(S::kBandPass, {8000, 12000, 50, 1000}), bandPass);
  // Notch: no slope, an end at least 50 Hz above the start, Amp up to 199.
  EXPECT_EQ(ShapeCurve(S::kNotch, {3000, 3000, 500, 700}),
            (LEqualizerCurve{{0, 127}, {pos(3000), 127}, {pos(3000), 253}, {pos(3050), 253}, {pos(3050), 127}, {255, 127}}));
  // An end below the start, a slope above the start, a slope past 20000 Hz.
  EXPECT_EQ(ShapeCurve(S::kBandStop, {500, 100, 20, 900}),
            (LEqualizerCurve{{0, 127}, {0, 127}, {pos(500), 25}, {pos(500), 25}, {pos(1000), 127}, {255, 127}}));
  EXPECT_EQ(ShapeCurve(S::kBoostCut, {15000, 19500, 150, 2000})[4].position, pos(20000));
  EXPECT_EQ(ShapeCurve(S::kHighPass, {4000, 0, 150, 9000}),
            (LEqualizerCurve{{0, 127}, {0, 127}, {pos(4000), 127}, {255, 127}}));
  EXPECT_EQ(ShapeCurve(S::kLowPass, {4000, 0, 50, 1000}),
            (LEqualizerCurve{{0, 127}, {pos(4000), 127}, {pos(5000), 63}, {255, 63}}));
  // Values far out of range never leave the curve's bytes.
  for (int shape = 1; shape <= 6; ++shape) {
    const LEqualizerCurve curve = ShapeCurve(static_cast<S>(shape), {-70000, 900000, -9, INT32_MAX});
    ASSERT_EQ(curve.front().position, 0);
    ASSERT_EQ(curve.back().position, 255);
  }
}

// --- The curve file, the dialog and the command ---

class EqualizerFileTest : public test::LCommandFixture {
 protected:
  EqualizerFileTest() : LCommandFixture("-eq", {.privateData = true}) {
    EnsureFolder(DataFolder());
    AddEffectCommands(table_);
  }
};

// The curve file has the envelope file's loading rules (checked there); garbage stays in order.
TEST_F(EqualizerFileTest, GarbageFilesLoadAsOrderedCurves) {
  const std::string path = EqualizerFilePath();
  std::string garbage;
  for (int i = 0; i < 300; ++i) garbage.push_back(static_cast<char>((i * 7919) % 251));
  test::WriteBytes(path, garbage);
  const LEqualizerCurve curve = LoadEnvelopeFile(path);
  ASSERT_LE(curve.size(), 64u);
  for (size_t i = 1; i < curve.size(); ++i) ASSERT_GE(curve[i].position, curve[i - 1].position);
  EqualizerMask(curve, kRate);
  // The dialog pins the ends of any curve to 0 and 255.
  LEqualizerDialog dialog(curve, 3, LSegmentList(), settings_, path);
  EXPECT_EQ(dialog.Curve().front().position, 0);
  EXPECT_EQ(dialog.Curve().back().position, 255);
}

TEST_F(EqualizerFileTest, DialogShapesAndLabels) {
  const std::string path = EqualizerFilePath();
  LEqualizerDialog dialog(FlatEnvelope(), 0, LSegmentList(), settings_, path);
  EXPECT_EQ(LEqualizerDialog::HoverText(0, 128), "0Hz, 100% (0dB)");
  EXPECT_EQ(LEqualizerDialog::HoverText(255, 255), "19999Hz, 199% (+6dB)");
  EXPECT_EQ(LEqualizerDialog::HoverText(128, 0), std::to_string(EqualizerHz(128)) + "Hz, 0% (--dB)");
  EXPECT_EQ(dialog.ShapeSettingsRefusal(), LEqualizerDialog::kChooseShapeMessage);
  dialog.ChooseShape(5);  // Notch
  EXPECT_EQ(dialog.ShapeSettingsRefusal(), "");
  LEqualizerShapeDialog shape = dialog.ShapeDialog();
  EXPECT_EQ(shape.Title(), "Notch Einstellungen");
  EXPECT_FALSE(shape.SlopeEnabled());
  EXPECT_EQ(shape.start, 8000);
  shape.start = 2000;
  shape.end = 2500;
  shape.amp = 10;
  dialog.StoreShapeParameters(shape);
  dialog.ApplyShape();
  const LEqualizerCurve notch = ShapeCurve(LEqualizerShape::kNotch, {2000, 2500, 10, 1000});
  EXPECT_EQ(dialog.Curve(), notch);
  EXPECT_EQ(LoadEnvelopeFile(path), notch);
  EXPECT_EQ(settings_.Read(kEqualizerShapes[4].frequency), 2000);
  // Editing keeps the ends in place.
  EXPECT_FALSE(dialog.RemovePoint(0));
  dialog.MovePoint(0, 90, 30);
  EXPECT_EQ(dialog.Curve().front(), (LEnvelopePoint{0, 30}));
  ASSERT_TRUE(dialog.AddPoint(255, 9));
  EXPECT_EQ(dialog.Curve().back().position, 255);
  EXPECT_EQ(dialog.Curve()[dialog.Curve().size() - 2], (LEnvelopePoint{255, 9}));
  dialog.Flatten();
  EXPECT_EQ(dialog.Curve(), FlatEnvelope());
  EXPECT_TRUE(LEqualizerShapeDialog(LEqualizerShape::kHighPass, {}).Title() == "HighPass Einstellungen");
  EXPECT_EQ(LEqualizerShapeDialog(LEqualizerShape::kBoostCut, {-4, 30000, 999, 5}).amp, 200);
}

TEST_F(EqualizerFileTest, CommandWritesTheCurveAndEqualizesTheSelection) {
  auto document = MakeRef<LSoundDocument>();
  const std::vector<int32_t> samples = test::TestSamples(2, 30000);
  document->sound = test::MakeSound(kRate, 2, samples);
  document->LengthChanged();
  document->SetSelection(0, 100, 0);  // the first 100 frames: silence before the start
  frame_.OpenDocument(document);
  const LEqualizerCurve curve = ShapeCurve(LEqualizerShape::kLowPass, {3000, 0, 20, 500});
  ui_.dialogs.push_back([&](LDialogModel& model) {
    auto& eq = dynamic_cast<LEqualizerDialog&>(model);
    eq.ChooseShape(4);
    WriteShapeParameters(settings_, LEqualizerShape::kLowPass, {3000, 0, 20, 500});
    eq.ApplyShape();
    eq.windowX = 40;
    eq.windowY = 50;
    return true;
  });
  ASSERT_TRUE(table_.Dispatch(LEffectCommandId::kEqualizer, context_));
  EXPECT_EQ(LoadEnvelopeFile(EqualizerFilePath()), curve);
  EXPECT_EQ(settings_.Read(kEQPreset), 4);
  EXPECT_EQ(settings_.Read(kEQWindowX), 40);
  EXPECT_EQ(UndoMenuText(*document), "Rückgängig Equalizer\tCtrl+Z");
  LRef<LSoundStream> expected = MakeFirStream(test::SamplesStream(kRate, 2, samples), EqualizerMask(curve, kRate));
  const std::vector<int32_t> want = test::ReadFrames(*expected, 100);
  const std::vector<int32_t> got = test::Audio(*document);
  EXPECT_EQ(std::vector<int32_t>(got.begin(), got.begin() + 200), want);
  EXPECT_EQ(std::vector<int32_t>(got.begin() + 200, got.end()), std::vector<int32_t>(samples.begin() + 200, samples.end()));
}

}  // namespace
}  // namespace klangor
