// Noise reduction and click repair: the noise gate's thresholds and bands, the noise profile's
// histogram rule, spectral subtraction in time with its input, the captured noise sample and
// its refusals, clicks found and repaired at known places.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "effects/click_repair.h"
#include "effects/effect_commands.h"
#include "effects/noise_gate.h"
#include "effects/noise_profile.h"
#include "effects/spectral_subtraction.h"
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

constexpr int32_t kRate = 44100;

// Deterministic noise of about `amplitude` (sum of three hashed uniforms).
int32_t Noise(int64_t frame, int channel, int32_t amplitude) {
  uint32_t h = static_cast<uint32_t>(frame * 2654435761LL + channel * 97 + 1);
  int64_t sum = 0;
  for (int i = 0; i < 3; ++i) {
    h = h * 1664525u + 1013904223u;
    sum += static_cast<int64_t>(h >> 16) - 32768;
  }
  return static_cast<int32_t>(sum * amplitude / 56755);
}

TEST(NoiseGateTest, ThresholdsAndBandGains) {
  EXPECT_EQ(NoiseGateThresholds(-30), (std::array<int, 4>{-27, -30, -33, -30}));
  EXPECT_EQ(NoiseGateThresholds(-126), (std::array<int, 4>{-123, -126, -127, -126}));
  EXPECT_EQ(NoiseGateGain(20800, -30), 1 << 24);
  EXPECT_GE(NoiseGateGain(20725, -30), (1 << 24) - 8192);  // the products truncate
  EXPECT_EQ(NoiseGateGain(4144, -30), 0);
  const int32_t half = NoiseGateGain((20724 + 4145) / 2, -30);
  EXPECT_GT(half, 1 << 22);
  EXPECT_LT(half, 3 << 22);
  EXPECT_EQ(NoiseGateGain(21, -127), 1 << 24);  // a silent threshold opens for almost anything
  EXPECT_EQ(NoiseGateGain(3, -127), 0);
}

TEST(NoiseGateTest, OpensForSoundClosesForNoiseAndRemovesDc) {
  // Quiet and loud passages of 1.2 s at -30 dB: the loud ones pass, the quiet ones sink (the
  // gains fall by a quarter or a half of the way per window).
  constexpr int32_t kPassage = 52920;
  const std::vector<int32_t> in = test::ReadFrames(*test::Passages(kRate, 2, 4 * kPassage, 3000, 400000, 1200), 4 * kPassage);
  LRef<LSoundStream> gate = MakeNoiseGateTask(-30).processor->MakeStream(
      test::Passages(kRate, 2, 4 * kPassage, 3000, 400000, 1200));
  const std::vector<int> levels = test::PassageLevels(test::ReadFrames(*gate, 4 * kPassage), 2, kPassage);
  const std::vector<int> inLevels = test::PassageLevels(in, 2, kPassage);
  EXPECT_NEAR(levels[1], inLevels[1], 1);
  EXPECT_LT(levels[2], inLevels[2] - 20);
  // DC goes whatever the gate does.
  LRef<LSoundStream> dc = MakeNoiseGateTask(-127).processor->MakeStream(
      MakeRef<test::LFunctionStream>(kRate, 1, kRate, [](int64_t, int) { return 300000; }, 2097152));
  const std::vector<int32_t> still = test::ReadFrames(*dc, kRate);
  for (size_t i = 20000; i < still.size(); ++i) ASSERT_LE(std::abs(still[i]), 300) << i;
}

TEST(NoiseProfileTest, LevelBytesAndTheLowestLevelAtThresholdZero) {
  EXPECT_EQ(BinLevel(0.0), -127);
  EXPECT_EQ(BinLevel(92682.0), 0);
  EXPECT_EQ(BinLevel(92682.0 * 10), 20);
  EXPECT_EQ(BinLevel(92682.0 / 10), -20);
  EXPECT_EQ(BinLevel(1e300), 127);
  EXPECT_EQ(SpectralSize(44100), 1024);
  EXPECT_EQ(SpectralSize(8000), 256);
  EXPECT_EQ(SpectralSize(48000), 2048);
  // Blocks of noise at three levels: threshold 0 takes every bin's lowest level.
  constexpr int n = 1024;
  std::vector<int32_t> samples;
  for (int block = 0; block < 30; ++block) {
    const int32_t amplitude = 2000 << (block % 3 == 1 ? 3 : (block % 3 == 2 ? 6 : 0));
    for (int i = 0; i < n; ++i) samples.push_back(Noise(int64_t{block} * n + i, 0, amplitude));
  }
  auto sink = MakeRef<LNoiseProfileSink>(kRate, 1);
  sink->Write(samples.data(), 30 * n);
  const LNoiseProfile lowest = sink->Profile(0);
  const LNoiseProfile most = sink->Profile(100);
  LSpectralFrame frame(n);
  std::vector<float> x(n), re(n / 2 + 1), im(n / 2 + 1);
  for (int k : {3, 100, 400}) {
    int low = 127;
    for (int block = 0; block < 30; ++block) {
      for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = static_cast<float>(samples[static_cast<size_t>(block * n + i)]);
      frame.Forward(x.data(), re.data(), im.data());
      low = std::min(low, BinLevel(std::hypot(re[static_cast<size_t>(k)], im[static_cast<size_t>(k)])));
    }
    EXPECT_DOUBLE_EQ(lowest.noise[0][static_cast<size_t>(k)], BinMagnitude(low)) << k;
    EXPECT_GT(most.noise[0][static_cast<size_t>(k)], lowest.noise[0][static_cast<size_t>(k)] * 10) << k;
  }
  // Without one whole block there is no noise.
  auto empty = MakeRef<LNoiseProfileSink>(kRate, 1);
  empty->Write(samples.data(), n - 1);
  EXPECT_DOUBLE_EQ(empty->Profile(30).noise[0][10], BinMagnitude(-127));
}

TEST(SpectralSubtractionTest, InTimeWithItsInputAndRemovingTheNoise) {
  // A tone far above a small noise floor comes out as it went in.
  const int32_t frames = 3 * kRate;
  std::vector<int32_t> tone = test::Tone(kRate, 2, frames, 523.0, 300000.0, 211.0);
  std::vector<int32_t> noisy = tone;
  for (int32_t f = 0; f < frames; ++f) {
    for (int c = 0; c < 2; ++c) noisy[static_cast<size_t>(f) * 2 + c] += Noise(f, c, 3000);
  }
  LRef<LSoundDocument> noiseOnly = test::Document(kRate, 2, [&] {
    std::vector<int32_t> n;
    for (int32_t f = 0; f < kRate; ++f) n.insert(n.end(), {Noise(f + 99999, 0, 3000), Noise(f + 99999, 1, 3000)});
    return n;
  }());
  LSilentProgress progress;
  ASSERT_EQ(CaptureNoiseSample(*noiseOnly, progress), LResult::kDone);
  LRef<LSoundDocument> document = test::Document(kRate, 2, noisy);
  ASSERT_EQ(RunNoiseSampleSubtraction(*document, progress), LResult::kDone);
  const std::vector<int32_t> out = test::Audio(*document);
  ASSERT_EQ(out.size(), noisy.size());
  EXPECT_GT(test::SnrDb(tone, out, 1.0, 2 * 2048), test::SnrDb(tone, noisy, 1.0, 2 * 2048) + 3.0);
  // Noise alone against its own profile loses most of its energy.
  LRef<LSoundDocument> again = test::Document(kRate, 2, test::Audio(*noiseOnly));
  ASSERT_EQ(RunNoiseSampleSubtraction(*again, progress), LResult::kDone);
  double before = 0, after = 0;
  const std::vector<int32_t> cleaned = test::Audio(*again);
  const std::vector<int32_t> raw = test::Audio(*noiseOnly);
  for (size_t i = 0; i < raw.size(); ++i) {
    before += double(raw[i]) * raw[i];
    after += double(cleaned[i]) * cleaned[i];
  }
  EXPECT_LT(10 * std::log10(after / before), -10.0);
}

TEST(SpectralSubtractionTest, SampleFitsByTransformSizeAndChannels) {
  LSilentProgress progress;
  LRef<LSoundDocument> source = test::Document(kRate, 1, test::TestSamples(1, 5000));
  ASSERT_EQ(CaptureNoiseSample(*source, progress), LResult::kDone);
  for (auto [rate, channels, fits] : {std::tuple{kRate, 1, true}, std::tuple{22050, 1, false},
                                      std::tuple{kRate, 2, false}, std::tuple{40000, 1, true}}) {
    LRef<LSoundDocument> document = test::Document(rate, channels, test::TestSamples(channels, 5000));
    const std::vector<int32_t> before = test::Audio(*document);
    EXPECT_EQ(RunNoiseSampleSubtraction(*document, progress), fits ? LResult::kDone : LResult::kFailed) << rate;
    if (!fits) {
      EXPECT_EQ(test::Audio(*document), before);
    }
  }
  // A one-frame selection and a selection shorter than one transform.
  for (int32_t length : {1, 700}) {
    LRef<LSoundDocument> tiny = test::Document(kRate, 1, test::TestSamples(1, length));
    EXPECT_EQ(RunAutoSpectralSubtraction(*tiny, 30, progress), LResult::kDone);
    EXPECT_EQ(tiny->Length(), length);
  }
  // Rates whose transform would exceed 8192 points fail without a change.
  LRef<LSoundDocument> fast = test::Document(400000, 1, test::TestSamples(1, 1000));
  EXPECT_EQ(RunAutoSpectralSubtraction(*fast, 30, progress), LResult::kFailed);
}

// --- Clicks ---

std::vector<int32_t> Music(int32_t frames) {
  std::vector<int32_t> samples(static_cast<size_t>(frames));
  for (int32_t f = 0; f < frames; ++f) {
    const double t = static_cast<double>(f) / kRate;
    samples[static_cast<size_t>(f)] = static_cast<int32_t>(
        200000 * std::sin(2 * test::kPi * 220 * t) + 120000 * std::sin(2 * test::kPi * 331 * t) +
        60000 * std::sin(2 * test::kPi * 497 * t));
  }
  return samples;
}

// Impulsive clicks of one to three frames. (A click with a flat top of three frames is found
// at only some places: the end rule, the first frame below a third of the start, then meets
// the high-pass filter's undershoot after the click.)
TEST(ClickRepairTest, ClicksAtKnownPlacesAreFoundAndRepaired) {
  const std::vector<int32_t> clean = Music(2 * kRate);
  std::vector<int32_t> clicked = clean;
  const std::vector<int32_t> places = {5003, 17777, 30000, 44444, 61001, 77000};
  const std::vector<std::vector<int32_t>> shapes = {{600, -600, 300}, {900}, {300, 900, -200}, {800, 400}, {700, -300, 100}, {-900}};
  for (size_t p = 0; p < places.size(); ++p) {
    for (size_t i = 0; i < shapes[p].size(); ++i) clicked[static_cast<size_t>(places[p]) + i] += shapes[p][i] * 1000;
  }
  LRef<LSoundDocument> document = test::Document(kRate, 1, clicked);
  LSilentProgress progress;
  std::vector<LRepairRange> found;
  ASSERT_EQ(RunClickRepair(*document, 50, 150, progress, &found), LResult::kDone);
  const std::vector<int32_t> repaired = test::Audio(*document);
  for (int32_t at : places) {
    SCOPED_TRACE(at);
    bool covered = false;
    for (const LRepairRange& range : found) covered = covered || (range.start <= at && range.end >= at + 2);
    EXPECT_TRUE(covered);
    const std::vector<int32_t> want(clean.begin() + at - 32, clean.begin() + at + 32);
    const std::vector<int32_t> got(repaired.begin() + at - 32, repaired.begin() + at + 32);
    EXPECT_GT(test::SnrDb(want, got), 20.0);
  }
  EXPECT_LE(found.size(), places.size() + 2);
}

TEST(ClickRepairTest, ABurstLongerThanTheLongestClickIsLeftAlone) {
  std::vector<int32_t> samples = Music(kRate);
  for (int i = 0; i < 10; ++i) samples[static_cast<size_t>(20000 + i)] += i % 2 == 0 ? 700000 : -700000;
  LRef<LSoundDocument> document = test::Document(kRate, 1, samples);
  LSilentProgress progress;
  std::vector<LRepairRange> found;
  ASSERT_EQ(RunClickRepair(*document, 50, 150, progress, &found), LResult::kDone);
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(test::Audio(*document), samples);
  // Cancelling leaves the sound as it was.
  samples[30000] += 900000;
  LRef<LSoundDocument> cancelled = test::Document(kRate, 1, samples);
  test::LRecordingProgress cancel(0);
  EXPECT_EQ(RunClickRepair(*cancelled, 50, 150, cancel), LResult::kCancelled);
  EXPECT_EQ(test::Audio(*cancelled), samples);
}

TEST(ClickRepairTest, RepairIsTheLineBetweenTheNeighbours) {
  std::vector<int32_t> samples = {0, 0, 100, 9999, -9999, 7777, 400, 0, 0, 0};
  samples.resize(20, 0);
  LRef<LSoundStream> stream = MakeRef<LRangeRepairStream>(test::SamplesStream(kRate, 1, samples),
                                                          std::vector<LRepairRange>{{0, 3, 6}});
  const std::vector<int32_t> out = test::ReadFrames(*stream, 10);
  // first 100, last 400, L = 4: (k x 400 + (4 - k) x 100) div 4.
  EXPECT_EQ(out, (std::vector<int32_t>{0, 0, 100, 175, 250, 325, 400, 0, 0, 0}));
  EXPECT_EQ(ArrangeRepairs({{1, 10, 20}, {0, 5, 8}, {1, 18, 25}, {0, -3, 2}, {0, 40, 41}}, 0, 30),
            (std::vector<LRepairRange>{{0, 0, 2}, {0, 5, 8}, {1, 10, 25}}));
}

class NoiseCommandsTest : public test::LCommandFixture {
 protected:
  NoiseCommandsTest() : LCommandFixture("-noise") { AddEffectCommands(table_); }
  LSoundDocument& Open(int32_t rate, int channels, const std::vector<int32_t>& samples) {
    return OpenSound(test::MakeSound(rate, channels, samples));
  }
  void Run(LEffectCommandId id) { ASSERT_TRUE(table_.Dispatch(id, context_)); }
};

TEST_F(NoiseCommandsTest, RefusalsChangeNothingAndRecordNoUndoStep) {
  // Nine seconds or more cannot be sampled.
  LSoundDocument& longOne = Open(8000, 1, std::vector<int32_t>(9 * 8000, 1000));
  Run(LEffectCommandId::kGrabNoiseSample);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, kSampleTooLongMessage);
  EXPECT_EQ(ui_.messages[0].caption, kSampleTooLongCaption);
  // A sample of eight seconds and a bit is taken; it does not fit a stereo sound.
  longOne.SetSelection(0, 9 * 8000 - 1, 0);
  Run(LEffectCommandId::kGrabNoiseSample);
  EXPECT_EQ(ui_.messages.size(), 1u);
  LSoundDocument& stereo = Open(8000, 2, test::TestSamples(2, 4000));
  Run(LEffectCommandId::kSampleSubtraction);
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[1].text, kSampleMismatchMessage);
  EXPECT_EQ(ui_.messages[1].icon, LIcon::kWarning);
  EXPECT_FALSE(CanUndo(stereo));
  // Manual repair of more than a millisecond.
  LSoundDocument& music = Open(kRate, 1, Music(kRate));
  music.SetSelection(100, 145, 0);
  Run(LEffectCommandId::kManualClickRepair);
  ASSERT_EQ(ui_.messages.size(), 3u);
  EXPECT_EQ(ui_.messages[2].text, kManualClickTooLongMessage);
  EXPECT_EQ(ui_.messages[2].icon, LIcon::kError);
  EXPECT_FALSE(CanUndo(music));
}

TEST_F(NoiseCommandsTest, ManualRepairAndTheStoredValues) {
  std::vector<int32_t> samples = Music(kRate);
  const std::vector<int32_t> clean = samples;
  for (int i = 0; i < 3; ++i) samples[static_cast<size_t>(10010 + i)] += 600000;
  LSoundDocument& document = Open(kRate, 1, samples);
  document.SetSelection(10000, 10040, 0);
  Run(LEffectCommandId::kManualClickRepair);
  const std::vector<int32_t> repaired = test::Audio(document);
  EXPECT_GT(test::SnrDb(std::vector<int32_t>(clean.begin() + 10000, clean.begin() + 10040),
                        std::vector<int32_t>(repaired.begin() + 10000, repaired.begin() + 10040)),
            20.0);
  EXPECT_EQ(std::vector<int32_t>(repaired.begin(), repaired.begin() + 10000),
            std::vector<int32_t>(samples.begin(), samples.begin() + 10000));
  EXPECT_EQ(UndoMenuText(document), std::string("Rückgängig ") + kManualClickName + "\tCtrl+Z");

  // The click dialog shows 450 us when nothing is stored and stores both values.
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LClickRepairDialog&>(model);
    EXPECT_EQ(dialog.MaxLength(), 450);
    EXPECT_EQ(dialog.Sensitivity(), 50);
    dialog.SetSensitivity(140);
    return true;
  });
  Run(LEffectCommandId::kClickRepair);
  EXPECT_EQ(settings_.Read(kClickSensitivity), 100);
  EXPECT_EQ(settings_.Read(kMaxClickLength), 450);
  EXPECT_EQ(frame_.playedFrom, 0);  // one second before the selection start, not below 0
  // The noise gate and the spectral subtraction store their values.
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LNoiseGateDialog&>(model).ChoosePreset(1);
    return true;
  });
  Run(LEffectCommandId::kNoiseGate);
  EXPECT_EQ(settings_.Read(kNoiseGateLevel), -20);
  ui_.dialogs.push_back([](LDialogModel& model) {
    dynamic_cast<LSpectralSubtractionDialog&>(model).ChoosePreset(2);
    return true;
  });
  Run(LEffectCommandId::kAutoSubtraction);
  EXPECT_EQ(settings_.Read(kSSNoiseThreshold), 10);
}

}  // namespace
}  // namespace klangor
