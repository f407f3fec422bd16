// Amplify, normalise, the envelope and its file, DC offset correction, reverse, stereo pan and
// reduce vocals, each against a plain computation of what it is defined to do.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "dsp/db_table.h"
#include "dsp/fixed_point.h"
#include "effects/amplify.h"
#include "effects/dc_offset.h"
#include "effects/envelope.h"
#include "effects/normalize.h"
#include "effects/reduce_vocals.h"
#include "effects/reverse.h"
#include "effects/stereo_pan.h"
#include "effects/stream_effect.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

using test::Audio;
using test::Document;
using test::LRecordingProgress;

using test::TestSamples;

std::vector<int32_t> Gains(const LSoundDocument& document) {
  std::vector<int32_t> gains;
  for (const LSegment& segment : document.sound.Segments()) gains.push_back(segment.gain);
  return gains;
}

// --- Amplify and normalise ---

TEST(AmplifyTest, FourHundredPercentSaturatesAtTheCapAndNeutralOrEmptyRunsChangeNothing) {
  LRef<LSoundDocument> document = Document(44100, 1, std::vector<int32_t>(1000, 1600));
  document->SetSelection(100, 300, 0);
  AmplifySelection(*document, 100);
  document->SetSelection(200, 200, 0);
  AmplifySelection(*document, 50);
  document->selectionStart = 300;
  document->selectionEnd = 100;
  AmplifySelection(*document, 50);
  EXPECT_EQ(Gains(*document), (std::vector<int32_t>{kUnityGain}));

  document->SetSelection(100, 300, 0);
  for (int32_t gain : {67108800, 268435200, 1073740800, 2147483647}) {
    AmplifySelection(*document, 400);
    EXPECT_EQ(Gains(*document), (std::vector<int32_t>{kUnityGain, gain, kUnityGain}));
  }
  EXPECT_EQ(document->Length(), 1000);
}

TEST(NormalizeTest, PeakDecidesThePercentage) {
  LSilentProgress progress;
  // Already at full scale: 100 %, nothing happens; a quarter of it gives 400 %.
  std::vector<int32_t> samples(20000, 1000);
  for (auto [peak, gain] : {std::pair{524272, kUnityGain}, std::pair{131068, kUnityGain / 100 * 400}}) {
    samples[15000] = peak;
    LRef<LSoundDocument> document = Document(44100, 1, samples);
    ASSERT_EQ(RunNormalize(*document, 100, progress), LResult::kDone);
    EXPECT_EQ(Gains(*document), (std::vector<int32_t>{gain}));
  }

  // The peak is measured as read (segment gains included), negative samples count by their
  // size, and the selection alone is measured and changed.
  std::vector<int32_t> stereo(2 * 20000, 500);
  stereo[2 * 9000 + 1] = -400000;  // in the second piece of 8192 frames
  stereo[2 * 19000] = 450000;      // outside the selection
  LRef<LSoundDocument> halved = Document(44100, 2, stereo);
  halved->sound.ScaleGain(50);
  halved->SetSelection(10, 18000, 0);
  ASSERT_EQ(RunNormalize(*halved, 75, progress), LResult::kDone);
  const int64_t readGain = (kUnityGain / 100 * 50) >> 15;  // segments are read with gain >> 15 (Q9)
  const int64_t peak = -((readGain * -400000) >> 9);
  const auto percent = static_cast<int32_t>(75 * 524272 / peak);
  EXPECT_EQ(Gains(*halved), (std::vector<int32_t>{kUnityGain / 100 * 50, kUnityGain / 100 * 50 / 100 * percent,
                                                  kUnityGain / 100 * 50}));
}

TEST(NormalizeTest, SilenceCancelAndEmptySelectionsLeaveTheDocument) {
  LRef<LSoundDocument> silent = Document(8000, 2, std::vector<int32_t>(2 * 30000, 0));
  LSilentProgress progress;
  ASSERT_EQ(RunNormalize(*silent, 100, progress), LResult::kDone);
  EXPECT_EQ(Gains(*silent), (std::vector<int32_t>{kUnityGain}));

  LRef<LSoundDocument> quiet = Document(8000, 1, std::vector<int32_t>(30000, 50));
  LRecordingProgress cancelled(2);
  EXPECT_EQ(RunNormalize(*quiet, 100, cancelled), LResult::kCancelled);
  EXPECT_EQ(Gains(*quiet), (std::vector<int32_t>{kUnityGain}));

  quiet->SetSelection(5, 5, 0);
  LRecordingProgress untouched;
  EXPECT_EQ(RunNormalize(*quiet, 100, untouched), LResult::kDone);
  EXPECT_EQ(untouched.questions, 0);
}

// --- Envelope ---

struct LRefPoint {
  int position;
  int level;
};

LEnvelope Points(const std::vector<LRefPoint>& points) {
  LEnvelope envelope;
  for (const LRefPoint& p : points) envelope.push_back({static_cast<uint8_t>(p.position), static_cast<uint8_t>(p.level)});
  return envelope;
}

// Fades on a constant signal: the gain ramps between the points' levels (128 is unity),
// points land on frame (N mod 255) x p div 255 + (N div 255) x p, and a run over a selection
// changes it alone, as the envelope stream over it would.
TEST(EnvelopeTest, GainsRampBetweenThePointsAndOnlyTheSelectionChanges) {
  for (int channels : {1, 3}) {
    const int32_t length = 30011;
    const std::vector<int32_t> flat(static_cast<size_t>(length) * channels, 1 << 20);
    LSilentProgress progress;
    LRef<LSoundDocument> in = Document(22050, channels, flat);
    ASSERT_EQ(RunEnvelope(*in, FadeInEnvelope(), progress), LResult::kDone);
    const std::vector<int32_t> faded = Audio(*in);
    EXPECT_EQ(faded[0], 0);
    EXPECT_NEAR(faded.back(), 1 << 20, 200);
    for (size_t i = static_cast<size_t>(channels); i < faded.size(); ++i) {
      ASSERT_GE(faded[i], faded[i - static_cast<size_t>(channels)]) << i;
    }
    // Full level down to silence at position 128, which then holds.
    LRef<LSoundDocument> down = Document(22050, channels, flat);
    ASSERT_EQ(RunEnvelope(*down, Points({{0, 255}, {128, 0}}), progress), LResult::kDone);
    const std::vector<int32_t> out = Audio(*down);
    const int32_t silentFrom = EnvelopeFrame(length, 128);
    EXPECT_EQ(silentFrom, (length % 255) * 128 / 255 + (length / 255) * 128);
    EXPECT_NEAR(out[0], 2 * (1 << 20), 20000);
    EXPECT_GT(out[static_cast<size_t>(silentFrom - 100) * channels], 0);
    // The last step's remainder (integer steps) holds on, far below audibility.
    const int32_t tail = out[static_cast<size_t>(silentFrom) * channels];
    EXPECT_LT(tail, 1000);
    for (size_t i = static_cast<size_t>(silentFrom) * channels; i < out.size(); ++i) ASSERT_EQ(out[i], tail) << i;
  }
  // 64 points, only the selection.
  LEnvelope many;
  for (int i = 0; i < 64; ++i) many.push_back({static_cast<uint8_t>(i * 4), static_cast<uint8_t>((i * 37) % 256)});
  const std::vector<int32_t> samples = TestSamples(2, 20000);
  LRef<LSoundDocument> document = Document(44100, 2, samples);
  document->SetSelection(3000, 17000, 0);
  LSilentProgress progress;
  ASSERT_EQ(RunEnvelope(*document, many, progress), LResult::kDone);
  LSegmentList selection = test::MakeSound(44100, 2, test::Frames(samples, 2, 3000, 17000));
  LEnvelopeStream shaped(OpenSegmentStream(selection), many, 14000);
  std::vector<int32_t> expected = samples;
  const std::vector<int32_t> inside = test::ReadFrames(shaped, 14000);
  std::copy(inside.begin(), inside.end(), expected.begin() + 2 * 3000);
  EXPECT_EQ(Audio(*document), expected);
}

TEST(EnvelopeTest, FailsWithFewerThanTwoPointsAndSkipsEmptySelections) {
  const std::vector<int32_t> samples = TestSamples(1, 1000);
  LRef<LSoundDocument> document = Document(8000, 1, samples);
  LSilentProgress progress;
  EXPECT_EQ(RunEnvelope(*document, Points({{0, 0}}), progress), LResult::kFailed);
  EXPECT_EQ(RunEnvelope(*document, {}, progress), LResult::kFailed);
  document->SetSelection(400, 400, 0);
  EXPECT_EQ(RunEnvelope(*document, FadeInEnvelope(), progress), LResult::kDone);
  document->selectionStart = 500;
  document->selectionEnd = 100;
  EXPECT_EQ(RunEnvelope(*document, FadeInEnvelope(), progress), LResult::kDone);
  EXPECT_EQ(Audio(*document), samples);
}

TEST(EnvelopeTest, FadeOutAndTrimDeletesWhatFollows) {
  const std::vector<int32_t> samples = TestSamples(2, 5000);
  LRef<LSoundDocument> document = Document(8000, 2, samples);
  document->SetSelection(1000, 3000, 0);
  LSilentProgress progress;
  ASSERT_EQ(RunFadeOutAndTrim(*document, progress), LResult::kDone);
  ASSERT_EQ(document->Length(), 3000);
  std::vector<int32_t> expected = test::Frames(samples, 2, 0, 3000);
  LSegmentList selection = test::MakeSound(8000, 2, test::Frames(samples, 2, 1000, 3000));
  LEnvelopeStream fade(OpenSegmentStream(selection), FadeOutEnvelope(), 2000);
  const std::vector<int32_t> faded = test::ReadFrames(fade, 2000);
  std::copy(faded.begin(), faded.end(), expected.begin() + 2 * 1000);
  EXPECT_EQ(Audio(*document), expected);
}

TEST(EnvelopeFileTest, LoadingRulesRepairWhatTheyCan) {
  const std::string path = test::TempPath("-envelope.dat");
  // Missing: the flat envelope, written back.
  EXPECT_EQ(LoadEnvelopeFile(path), FlatEnvelope());
  EXPECT_EQ(test::ReadBytes(path), std::string("\x02\x00\x80\xff\x80", 5));
  // Empty file: the same.
  test::WriteBytes(path, "");
  EXPECT_EQ(LoadEnvelopeFile(path), FlatEnvelope());
  EXPECT_EQ(test::ReadBytes(path).size(), 5u);
  // Decreasing positions are raised to their predecessor.
  test::WriteBytes(path, std::string("\x03\x10\x01\x08\x02\xff\x03", 7));
  EXPECT_EQ(LoadEnvelopeFile(path), (LEnvelope{{16, 1}, {16, 2}, {255, 3}}));
  // A count of 255 means 64 points; a file cut short keeps the whole points it has.
  std::string big(1, '\xff');
  for (int i = 0; i < 100; ++i) big += std::string{static_cast<char>(i), static_cast<char>(200)};
  test::WriteBytes(path, big);
  LEnvelope loaded = LoadEnvelopeFile(path);
  ASSERT_EQ(loaded.size(), 64u);
  EXPECT_EQ(loaded.back(), (LEnvelopePoint{63, 200}));
  test::WriteBytes(path, std::string("\x05\x00\x10\x40\x20\x80", 6));
  EXPECT_EQ(LoadEnvelopeFile(path), (LEnvelope{{0, 16}, {64, 32}}));
  // One point stays one point (the runner then refuses it).
  test::WriteBytes(path, std::string("\x01\x00\x10", 3));
  EXPECT_EQ(LoadEnvelopeFile(path).size(), 1u);
  // Saving writes the count and the points.
  ASSERT_TRUE(SaveEnvelopeFile(path, FadeOutEnvelope()));
  EXPECT_EQ(test::ReadBytes(path), std::string("\x02\x00\x80\xff\x00", 5));
  EXPECT_EQ(EnvelopeFromBytes(EnvelopeBytes(Points({{1, 2}, {3, 4}, {5, 6}}))), Points({{1, 2}, {3, 4}, {5, 6}}));
}

TEST(EnvelopeDialogTest, PointsKeepTheirOrderAndCount) {
  LSegmentList selection;
  LEnvelopeDialog dialog(FlatEnvelope(), selection);
  EXPECT_FALSE(dialog.PreviewEnabled());
  EXPECT_TRUE(dialog.AddPoint(100, 20));
  EXPECT_TRUE(dialog.AddPoint(50, 30));
  EXPECT_EQ(dialog.Envelope(), (LEnvelope{{0, 128}, {50, 30}, {100, 20}, {255, 128}}));
  dialog.MovePoint(1, 200, 99);  // cannot pass its neighbour at 100
  EXPECT_EQ(dialog.Envelope()[1], (LEnvelopePoint{100, 99}));
  EXPECT_TRUE(dialog.RemovePoint(1));
  EXPECT_TRUE(dialog.RemovePoint(1));
  EXPECT_FALSE(dialog.RemovePoint(0));
  for (int i = 0; i < 62; ++i) EXPECT_TRUE(dialog.AddPoint(static_cast<uint8_t>(i), 1));
  EXPECT_FALSE(dialog.AddPoint(7, 1));
  EXPECT_EQ(dialog.Envelope().size(), 64u);
}

// --- DC offset, reverse ---

TEST(DcOffsetTest, SubtractsTheTruncatedMeanOfEachChannelOfTheSelection) {
  for (int channels : {1, 2, 3}) {
    std::vector<int32_t> samples = TestSamples(channels, 30000, 300000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] += 777 * static_cast<int32_t>(i % channels) - 3001;
    LRef<LSoundDocument> document = Document(22050, channels, samples);
    document->SetSelection(2500, 27000, 0);
    LSilentProgress progress;
    ASSERT_EQ(RunDcOffset(*document, progress), LResult::kDone);
    std::vector<int32_t> expected = samples;
    for (int c = 0; c < channels; ++c) {
      double sum = 0;
      for (int32_t f = 2500; f < 27000; ++f) sum += samples[static_cast<size_t>(f) * channels + c];
      const auto offset = static_cast<int32_t>(std::trunc(sum / (27000 - 2500)));
      for (int32_t f = 2500; f < 27000; ++f) expected[static_cast<size_t>(f) * channels + c] -= offset;
    }
    EXPECT_EQ(Audio(*document), expected) << channels << " channels";
  }
}

TEST(DcOffsetTest, CancelInTheSecondPassKeepsTheDocument) {
  std::vector<int32_t> samples(20000, 5000);
  LRef<LSoundDocument> document = Document(8000, 1, samples);
  LRecordingProgress progress(4);  // three pieces per pass
  EXPECT_EQ(RunDcOffset(*document, progress), LResult::kCancelled);
  EXPECT_EQ(Audio(*document), samples);
}

TEST(ReverseTest, FramesRunBackwardsAndChannelsStayPut) {
  const std::vector<int32_t> samples = TestSamples(2, 20000);
  LRef<LSoundDocument> document = Document(44100, 2, samples);
  document->SetSelection(100, 19000, 0);
  LRecordingProgress progress;
  ASSERT_EQ(RunReverse(*document, progress), LResult::kDone);
  EXPECT_EQ(progress.questions, 0);  // reverse cannot be cancelled
  std::vector<int32_t> expected = samples;
  for (int32_t f = 100; f < 19000; ++f) {
    const int32_t from = 100 + 19000 - 1 - f;
    expected[2 * static_cast<size_t>(f)] = samples[2 * static_cast<size_t>(from)];
    expected[2 * static_cast<size_t>(f) + 1] = samples[2 * static_cast<size_t>(from) + 1];
  }
  EXPECT_EQ(Audio(*document), expected);
}

// --- Stereo pan ---

// The Q24 gain of a linear gain's dB byte, computed on its own.
int32_t PanGain(double linear) {
  const auto q24 = static_cast<int64_t>(linear * 16777216.0);
  if (q24 <= 0) return 0;
  const double db = 20.0 * std::log10(static_cast<double>(q24) / 16777216.0) + (q24 >= 16777216 ? 0.5 : -0.5);
  const int byte = std::clamp(static_cast<int>(db), -127, 127);
  return byte <= -127 ? 0 : static_cast<int32_t>(std::llround(std::pow(10.0, byte / 20.0) * 16777216.0));
}

// Each output is its own input channel through the constant-power gain; values beyond the
// slider's range count as the nearest end, and the middle leaves the sound as it was.
TEST(StereoPanTest, OutputsAreTheOwnChannelsThroughTheDbTable) {
  const int32_t length = 10000;
  const std::vector<int32_t> in = TestSamples(2, length, 2000000);
  for (int32_t value : {-5, 0, 13, 50, 71, 100, 150}) {
    const double d = std::clamp(value, 0, 100) * 0.01;
    const int32_t left = PanGain(std::sqrt(1 - d) * 1.4142);
    const int32_t right = PanGain(std::sqrt(d) * 1.4142);
    LRef<LSoundStream> pan = MakeStereoPanTask(value).processor->MakeStream(test::TestAudio(44100, 2, length, 2000000));
    EXPECT_EQ(pan->Channels(), 2);
    EXPECT_EQ(pan->FullScale(), 2097152);
    const std::vector<int32_t> out = test::ReadInSlices(*pan, length, static_cast<uint32_t>(value + 5));
    for (size_t f = 0; f < static_cast<size_t>(length); ++f) {
      ASSERT_EQ(out[2 * f], MulQ24(in[2 * f], left)) << value;
      ASSERT_EQ(out[2 * f + 1], MulQ24(in[2 * f + 1], right)) << value;
    }
  }
  LRef<LSoundDocument> document = Document(44100, 2, in);
  LSilentProgress progress;
  ASSERT_EQ(RunStreamEffect(*document, MakeStereoPanTask(50), progress), LResult::kDone);
  EXPECT_EQ(Audio(*document), in);
}

TEST(StereoPanTest, OtherInputCountsMakeTwoChannels) {
  // A mono input has no right input channel; the third of three counts as silence.
  LRef<LSoundStream> mono = MakeStereoPanTask(0).processor->MakeStream(test::TestAudio(8000, 1, 100));
  LRef<LSoundStream> three = MakeStereoPanTask(0).processor->MakeStream(test::TestAudio(8000, 3, 100));
  const std::vector<int32_t> a = test::ReadFrames(*mono, 100);
  EXPECT_EQ(test::ReadFrames(*three, 100), a);
  for (int32_t f = 0; f < 100; ++f) {
    EXPECT_EQ(a[2 * static_cast<size_t>(f)], MulQ24(test::TestSample(f, 0, 400000), PanGain(1.4142)));
    EXPECT_EQ(a[2 * static_cast<size_t>(f) + 1], 0);
  }
}

// --- Reduce vocals ---

TEST(ReduceVocalsTest, SelectionBecomesTheDifferenceAndTheRestKeepsItsLeftChannel) {
  const int32_t length = 30000;
  const std::vector<int32_t> samples = TestSamples(2, length, 200000);
  LRef<LSoundDocument> document = Document(44100, 2, samples);
  document->SetSelection(5000, 21000, 0);
  LRecordingProgress progress;
  ASSERT_EQ(RunReduceVocals(*document, progress), LResult::kDone);
  ASSERT_EQ(document->sound.Channels(), 1);
  ASSERT_EQ(document->Length(), length);
  EXPECT_EQ(document->selectionEnd, 21000);
  const std::vector<int32_t> out = Audio(*document);
  for (int32_t f = 0; f < length; ++f) {
    const int32_t left = samples[2 * static_cast<size_t>(f)];
    const int32_t right = samples[2 * static_cast<size_t>(f) + 1];
    ASSERT_EQ(out[static_cast<size_t>(f)], f >= 5000 && f < 21000 ? left - right : left) << f;
  }
}

TEST(ReduceVocalsTest, OtherChannelCountsPassThroughAndCancelKeepsTheDocument) {
  const std::vector<int32_t> samples = TestSamples(1, 10000, 200000);
  LRef<LSoundDocument> mono = Document(8000, 1, samples);
  LSilentProgress progress;
  ASSERT_EQ(RunReduceVocals(*mono, progress), LResult::kDone);
  EXPECT_EQ(Audio(*mono), samples);

  const std::vector<int32_t> stereo = TestSamples(2, 30000, 200000);
  LRef<LSoundDocument> document = Document(8000, 2, stereo);
  LRecordingProgress cancel(2);
  EXPECT_EQ(RunReduceVocals(*document, cancel), LResult::kCancelled);
  EXPECT_EQ(document->sound.Channels(), 2);
  EXPECT_EQ(Audio(*document), stereo);
}

}  // namespace
}  // namespace klangor
