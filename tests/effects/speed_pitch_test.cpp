// Speed and pitch, and the sample-rate and channel conversion of a document: lengths,
// pitches, the selection, percentages from scripts, and positions that keep their times.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "effects/rate_commands.h"
#include "effects/speed_pitch.h"
#include "platform/cpu_features.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

using Mode = LSpeedPitchMode;
using test::Audio;

LRef<LSoundDocument> ToneDocument(int32_t rate, int channels, int32_t frames) {
  return test::Document(rate, channels, test::Tone(rate, channels, frames, 440, 200000, 110));
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

// Speed only and pitch only run the time stretch's AVX2 loops where the processor has them.
// Both copies round alike, so music from sox (pink noise, a sweep and plucks, with half a
// second of digital silence for frames without peaks and frames half silent) comes out the
// same to the bit at speeds above and below 1, at any transform size.
TEST(SpeedPitchTest, Avx2AndPortablePathsGiveTheSameSamples) {
  if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
  const std::string music = test::TempPath(".wav");
  test::RunTool({"sox", "-V1", "-R", "-n", "-b", "16", "-c", "2", "-r", "44100", music, "synth", "3", "pinknoise",
                 "synth", "3", "sine", "mix", "300-2000", "synth", "3", "pluck", "mix", "220", "tremolo", "3", "40",
                 "vol", "0.4", "pad", "0.5@1.5"});
  const std::vector<int16_t> decoded = test::SoxSamples16(music);
  const std::vector<int32_t> samples(decoded.begin(), decoded.end());
  ASSERT_EQ(samples.size(), 2u * 44100 * 7 / 2);
  // The same samples labelled 8000 Hz (256-point transforms) and 200 Hz (8 points: bins
  // too few for whole vectors).
  for (int32_t rate : {8000, 200}) {
    const auto run = [&](bool avx2) {
      SetAvx2Allowed(avx2);
      return test::ReadAll(*MakeSpeedPitchStream(test::SamplesStream(rate, 2, samples), Mode::kSpeedOnly, 130));
    };
    EXPECT_TRUE(run(false) == run(true)) << rate;
  }
  for (Mode mode : {Mode::kSpeedOnly, Mode::kPitchOnly}) {
    for (int32_t percent : {150, 70}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(mode)) + " at " + std::to_string(percent));
      const auto run = [&](bool avx2) {
        SetAvx2Allowed(avx2);
        return test::ReadAll(*MakeSpeedPitchStream(test::SamplesStream(44100, 2, samples), mode, percent));
      };
      const std::vector<int32_t> portable = run(false);
      const std::vector<int32_t> wide = run(true);
      ASSERT_GT(portable.size(), samples.size() / 2);
      EXPECT_TRUE(portable == wide);
      EXPECT_NE(portable, std::vector<int32_t>(portable.size()));  // not silent
    }
  }
  SetAvx2Allowed(true);
}

TEST(ConvertFormatTest, PositionsKeepTheirTimes) {
  // Frames to milliseconds at the old rate, back at the new.
  LRef<LSoundDocument> document = ToneDocument(44100, 2, 44100);
  document->SetSelection(22050, 33075, 11025);
  document->firstMark = 4410;
  test::LRecordingProgress progress;
  ASSERT_EQ(ConvertDocumentFormat(*document, 8000, 1, progress), LResult::kDone);
  EXPECT_EQ(document->sound.SampleRate(), 8000);
  EXPECT_EQ(document->sound.Channels(), 1);
  EXPECT_NEAR(document->Length(), 8000, 2);
  EXPECT_EQ(document->selectionStart, 4000);
  EXPECT_EQ(document->selectionEnd, 6000);
  EXPECT_EQ(document->cursor, 2000);
  EXPECT_EQ(document->firstMark, 800);
  EXPECT_NEAR(PitchOf(*document, 440), 440, 1);
  // Converting to the format it has changes nothing.
  const std::vector<int32_t> before = Audio(*document);
  EXPECT_EQ(ConvertDocumentFormat(*document, 8000, 1, progress), LResult::kDone);
  EXPECT_EQ(Audio(*document), before);
}

}  // namespace
}  // namespace klangor
