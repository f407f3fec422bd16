// The automatic volume control: what it does to quiet and loud passages, that it replaces
// only the selection, that cancels and failures leave the sound and no temporary files, its
// target level, and the gain stream over its analysis files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audio/error_stream.h"
#include "audio/sample_format.h"
#include "dsp/db_table.h"
#include "dsp/fixed_point.h"
#include "effects/auto_volume.h"
#include "effects/volume_gain_stream.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

using test::Audio;
using test::LMemorySink;
using test::LRecordingProgress;

// Every test gets a temporary folder of its own, so that leftovers can be seen.
class AutoVolumeTest : public ::testing::Test {
 protected:
  AutoVolumeTest() : tmp_(test::TempPath("-tmp")), env_("TMPDIR", tmp_) { EXPECT_TRUE(EnsureFolder(tmp_)); }

  std::vector<std::string> TemporaryFiles() { return ListFolder(TemporaryFolder()); }

  // A document over alternating quiet and loud passages of `passageMs`.
  LRef<LSoundDocument> Document(int32_t rate, int channels, int32_t frames, int32_t quiet = 20000,
                                int32_t loud = 400000, int32_t passageMs = 3000) {
    return test::Document(rate, channels,
                          test::ReadAll(*test::Passages(rate, channels, frames, quiet, loud, passageMs)));
  }

  std::string tmp_;
  test::LScopedEnv env_;
};

TEST_F(AutoVolumeTest, QuietAndLoudPassagesComeOutCloserInLevel) {
  for (int32_t rate : {22050, 44100}) {
    for (int channels : {1, 2}) {
      const int32_t passage = rate * 3;
      LRef<LSoundDocument> document = Document(rate, channels, passage * 6);
      const std::vector<int> before = test::PassageLevels(Audio(*document), channels, passage);
      LRecordingProgress progress;
      ASSERT_EQ(RunAutoVolume(*document, progress), LResult::kDone);
      EXPECT_EQ(document->Length(), passage * 6);
      const std::vector<int32_t> audio = Audio(*document);
      EXPECT_LE(PeakOf(audio.data(), audio.size()), kFullScale16);
      const std::vector<int> after = test::PassageLevels(audio, channels, passage);
      ASSERT_EQ(after.size(), 6u);
      // Passages 2 to 5 (the first two settle the tracker): the gap shrinks by several dB.
      for (size_t i = 2; i + 1 < after.size(); i += 2) {
        const int gapBefore = before[i + 1] - before[i];
        const int gapAfter = after[i + 1] - after[i];
        EXPECT_GT(gapBefore, 20);
        EXPECT_GT(gapAfter, 0);
        EXPECT_LE(gapAfter, gapBefore - 4) << rate << " Hz, " << channels << " channels, passage " << i;
      }
      EXPECT_TRUE(TemporaryFiles().empty());
    }
  }
  // Silence stays silent.
  LRef<LSoundDocument> silent = Document(44100, 2, 44100, 0, 0);
  LSilentProgress progress;
  ASSERT_EQ(RunAutoVolume(*silent, progress), LResult::kDone);
  EXPECT_EQ(Audio(*silent), std::vector<int32_t>(2 * 44100, 0));
}

TEST_F(AutoVolumeTest, ReplacesOnlyTheSelectionAndKeepsItsLength) {
  const int32_t rate = 8000;
  LRef<LSoundDocument> document = Document(rate, 2, rate * 4, 5000, 300000, 700);
  const std::vector<int32_t> before = Audio(*document);
  document->SetSelection(1234, 1234 + rate * 2 + 77, 0);  // not a whole number of windows
  LRecordingProgress progress;
  ASSERT_EQ(RunAutoVolume(*document, progress), LResult::kDone);
  const std::vector<int32_t> after = Audio(*document);
  ASSERT_EQ(after.size(), before.size());
  const int32_t end = document->selectionEnd;
  EXPECT_EQ(test::Frames(after, 2, 0, 1234), test::Frames(before, 2, 0, 1234));
  EXPECT_EQ(test::Frames(after, 2, end, rate * 4), test::Frames(before, 2, end, rate * 4));
  EXPECT_NE(after, before);

  ASSERT_FALSE(progress.fractions.empty());
  EXPECT_TRUE(std::is_sorted(progress.fractions.begin(), progress.fractions.end()));
  EXPECT_NE(std::find(progress.fractions.begin(), progress.fractions.end(), 0.5), progress.fractions.end());
  EXPECT_DOUBLE_EQ(progress.fractions.back(), 1.0);

  // A reversed or empty selection is done at once.
  document->SetSelection(500, 500, 0);
  EXPECT_EQ(RunAutoVolume(*document, progress), LResult::kDone);
  document->selectionStart = 900;
  document->selectionEnd = 800;
  EXPECT_EQ(RunAutoVolume(*document, progress), LResult::kDone);
  EXPECT_EQ(Audio(*document), after);
}

TEST_F(AutoVolumeTest, CancelInEitherPassLeavesTheSoundAndNoFiles) {
  const int32_t rate = 11025;
  LRef<LSoundDocument> document = Document(rate, 2, rate * 5, 10000, 200000, 1000);
  const std::vector<int32_t> before = Audio(*document);
  LRecordingProgress count;
  ASSERT_EQ(RunAutoVolume(*Document(rate, 2, rate * 5, 10000, 200000, 1000), count), LResult::kDone);
  // Pieces of whole windows of 220 frames: 37 windows each.
  const int firstPass = static_cast<int>((rate * 5 / 220 + 1 + 36) / 37);
  for (int question : {0, 1, firstPass - 1, firstPass, firstPass + 2, count.questions - 1}) {
    LRecordingProgress cancel(question);
    EXPECT_EQ(RunAutoVolume(*document, cancel), LResult::kCancelled) << question;
    EXPECT_EQ(Audio(*document), before);
    EXPECT_TRUE(TemporaryFiles().empty());
  }
}

TEST_F(AutoVolumeTest, FailuresLeaveNoFiles) {
  LSilentProgress progress;
  auto source = [] { return test::Passages(8000, 1, 16000, 1000, 100000, 500); };
  // A sink that stops accepting frames in the second pass.
  auto failing = MakeRef<LMemorySink>(8000, 1);
  failing->failAfterFrames = 10000;
  EXPECT_EQ(AutoVolume(source(), *failing, progress), LResult::kFailed);
  EXPECT_TRUE(TemporaryFiles().empty());

  // Unusable ends and formats that differ.
  auto sink = MakeRef<LMemorySink>(8000, 1);
  EXPECT_EQ(AutoVolume(MakeErrorStream(LStreamState::kCorrupt), *sink, progress), LResult::kFailed);
  EXPECT_EQ(AutoVolume(source(), *MakeRef<LNullSink>(), progress), LResult::kFailed);
  EXPECT_EQ(AutoVolume(source(), *MakeRef<LMemorySink>(8000, 2), progress), LResult::kFailed);
  EXPECT_EQ(AutoVolume(source(), *MakeRef<LMemorySink>(16000, 1), progress), LResult::kFailed);
  EXPECT_EQ(sink->FramesWritten(), 0);

  // No safe temporary folder: the folder's name is taken by a file.
  const std::string blocked = test::TempPath("-blocked");
  ASSERT_TRUE(EnsureFolder(blocked));
  test::WriteBytes(JoinPath(blocked, "klangor-" + std::to_string(::getuid())), "x");
  test::LScopedEnv env("TMPDIR", blocked);
  EXPECT_EQ(AutoVolume(source(), *sink, progress), LResult::kFailed);
  EXPECT_EQ(sink->FramesWritten(), 0);
}

TEST(AutoVolumeTargetTest, MedianOfTheWindowsNearTheLoudestEighth) {
  auto histogram = [](std::initializer_list<std::pair<int, int>> counts) {
    LLevelHistogram h{};
    for (auto [level, count] : counts) h[static_cast<size_t>(level + 127)] = count;
    return h;
  };
  // Pauses do not count: only windows within 14 dB of the loudest eighth.
  EXPECT_EQ(AutoVolumeTarget(histogram({{-60, 60}, {-20, 40}})), -20);
  EXPECT_EQ(AutoVolumeTarget(histogram({{-30, 50}, {-20, 30}, {-10, 20}})), -20);
  EXPECT_EQ(AutoVolumeTarget(histogram({{-30, 50}, {-20, 20}, {-10, 30}})), -10);
  // A very quiet recording keeps every window; silence and no windows give -127.
  EXPECT_EQ(AutoVolumeTarget(histogram({{-127, 10}, {-120, 10}})), -120);
  EXPECT_EQ(AutoVolumeTarget(histogram({{-127, 11}, {-120, 10}})), -127);
  EXPECT_EQ(AutoVolumeTarget(histogram({{-127, 50}})), -127);
  EXPECT_EQ(AutoVolumeTarget(LLevelHistogram{}), -127);
}

// The gain stream over hand-made files.
class VolumeGainStreamTest : public ::testing::Test {
 protected:
  static constexpr int kChannels = 2;
  static constexpr int32_t kWindow = 160;
  static constexpr int64_t kWindows = 120;

  VolumeGainStreamTest() : samplePath_(test::TempPath(".samples")), levelPath_(test::TempPath(".levels")) {
    samples_.resize(static_cast<size_t>(kWindows * kWindow * kChannels));
    for (size_t i = 0; i < samples_.size(); ++i) samples_[i] = static_cast<int32_t>((i * 7919) % 200001) - 100000;
    std::vector<int8_t> levels(static_cast<size_t>(kWindows * kChannels));
    for (size_t i = 0; i < levels.size(); ++i) levels[i] = static_cast<int8_t>((i / 20) % 2 == 0 ? -30 : -5);
    LFile::Open(samplePath_, LFileMode::kCreateAlways).Write(samples_.data(), static_cast<int64_t>(samples_.size() * 4));
    LFile::Open(levelPath_, LFileMode::kCreateAlways).Write(levels.data(), static_cast<int64_t>(levels.size()));
    analysis_.sampleRate = 8000;
    analysis_.channels = kChannels;
    analysis_.windowFrames = kWindow;
    analysis_.windowCount = kWindows;
    analysis_.targets = {-10, -12};
  }

  LRef<LSoundStream> Make() {
    return MakeRef<LVolumeGainStream>(LFile::Open(samplePath_, LFileMode::kRead),
                                      LFile::Open(levelPath_, LFileMode::kRead), analysis_);
  }

  std::string samplePath_;
  std::string levelPath_;
  std::vector<int32_t> samples_;
  LAutoVolumeAnalysis analysis_;
};

TEST_F(VolumeGainStreamTest, OutputDoesNotDependOnSlicingAndSeeksAnywhere) {
  LRef<LSoundStream> whole = Make();
  const int32_t length = whole->Length();
  EXPECT_EQ(length, kWindows * kWindow);
  EXPECT_EQ(whole->FullScale(), kDocumentFullScale);
  const std::vector<int32_t> expected = test::ReadFrames(*whole, length);
  EXPECT_EQ(whole->Position(), length);
  for (uint32_t seed : {1u, 2u, 3u}) {
    LRef<LSoundStream> sliced = Make();
    EXPECT_EQ(test::ReadInSlices(*sliced, length, seed, 400), expected);
  }
  LRef<LSoundStream> seeking = Make();
  test::ReadFrames(*seeking, 5000);
  seeking->Seek(3333);
  EXPECT_EQ(seeking->Position(), 3333);
  EXPECT_EQ(test::ReadFrames(*seeking, 1000), test::Frames(expected, kChannels, 3333, 4333));
  // Before the start and past the end: silence.
  seeking->Seek(-10);
  const std::vector<int32_t> lead = test::ReadFrames(*seeking, 20);
  EXPECT_EQ(test::Frames(lead, kChannels, 0, 10), std::vector<int32_t>(20, 0));
  EXPECT_EQ(test::Frames(lead, kChannels, 10, 20), test::Frames(expected, kChannels, 0, 10));
  seeking->Seek(length);
  EXPECT_EQ(test::ReadFrames(*seeking, 10), std::vector<int32_t>(20, 0));
}

TEST_F(VolumeGainStreamTest, GainsFollowTheTargetsAndFadeOverTheLastWindow) {
  LRef<LSoundStream> stream = Make();
  const std::vector<int32_t> out = test::ReadFrames(*stream, stream->Length());
  const std::vector<int32_t>& in = samples_;
  // The last frame is nearly silent.
  EXPECT_LT(std::abs(out[out.size() - 2]), std::abs(in[in.size() - 2]) / 50 + 2);
  // Within the first window the gain is steady, each channel's from its own target: the
  // right channel's target is 2 dB lower, so it gets 2 dB more.
  const double left = static_cast<double>(out[200]) / in[200];
  const double right = static_cast<double>(out[201]) / in[201];
  EXPECT_NEAR(left / right, static_cast<double>(GainOfDb(0)) / GainOfDb(2), 0.01);
}

}  // namespace
}  // namespace klangor
