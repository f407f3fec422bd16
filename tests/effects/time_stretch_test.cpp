// The phase vocoder and grain time stretches: pitch, length and level of a steady tone,
// independence from how they are read, where the grain heads read, and cues that ramp.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/error_stream.h"
#include "effects/grain_stretch.h"
#include "effects/phase_vocoder.h"
#include "support/test_signals.h"

namespace klangor {
namespace {


TEST(PhaseVocoderTest, SizesAndHopsCarryTheirFraction) {
  EXPECT_EQ(PhaseVocoderSize(44100), 2048);
  EXPECT_EQ(PhaseVocoderSize(96000), 4096);
  LPhaseVocoderStream slow(test::ToneStream(44100, 1, 100, 440, 1000), 0.3);
  EXPECT_EQ(slow.SynthesisHop(), 256);
  EXPECT_EQ(slow.AnalysisHop(), 76);  // 256 x 0.3 = 76.8
  EXPECT_EQ(slow.AnalysisHopMillionths(), 800000);
  EXPECT_EQ(slow.FullScale(), 1048544);
}

// A steady 440 Hz tone at 150 % and 50 %: still 440 Hz, as long as the input / the speed,
// at the level of the analysis window's scale 1 / sqrt(speed), in every channel.
TEST(PhaseVocoderTest, ASteadyToneKeepsItsPitchAndTheLengthFollowsTheSpeed) {
  struct LCase {
    int32_t rate;
    int channels;
    double speed;
  };
  for (const LCase& c : {LCase{44100, 2, 1.5}, LCase{48000, 1, 0.5}, LCase{22050, 2, 0.5}}) {
    SCOPED_TRACE(std::to_string(c.rate) + " x" + std::to_string(c.channels) + " at " + std::to_string(c.speed));
    const int32_t frames = c.rate * 3 / 2;
    LRef<LSoundStream> stream = MakeTimeStretch(test::ToneStream(c.rate, c.channels, frames, 440, 200000, 110), c.speed);
    auto* vocoder = dynamic_cast<LPhaseVocoderStream*>(stream.Get());
    ASSERT_NE(vocoder, nullptr);
    const int32_t length = stream->Length();
    EXPECT_NEAR(length, frames / c.speed, vocoder->SynthesisHop());
    const std::vector<int32_t> out = test::ReadInSlices(*stream, length, 3, 4000);
    const int32_t middle = length / 2;
    for (int channel = 0; channel < c.channels; ++channel) {
      const double tone = 440 + 110 * channel;
      const std::vector<double> part = test::Channel(out, c.channels, channel, middle - c.rate / 8, middle + c.rate / 8);
      EXPECT_NEAR(test::StrongestFrequency(part, c.rate, tone - 2, tone + 2, 0.1), tone, 1.0);
      EXPECT_NEAR(test::Amplitude(part, c.rate, tone), 200000 / std::sqrt(c.speed), 200000 * 0.03);
    }
  }
}

TEST(TimeStretchTest, SpeedsChooseTheMethod) {
  const auto make = [](double speed) { return MakeTimeStretch(test::ToneStream(8000, 1, 8000, 440, 1000), speed); };
  EXPECT_NE(dynamic_cast<LPhaseVocoderStream*>(make(8.0).Get()), nullptr);
  EXPECT_NE(dynamic_cast<LPhaseVocoderStream*>(make(0.01).Get()), nullptr);
  for (double speed : {8.5, 10.0, 0.0, -1.0}) EXPECT_NE(dynamic_cast<LGrainStretchStream*>(make(speed).Get()), nullptr);
  EXPECT_EQ(make(10.0)->Length(), 800);
  LRef<LSoundStream> broken = MakeErrorStream(LStreamState::kCorrupt);
  EXPECT_EQ(MakeTimeStretch(broken, 1.5), broken);
}

// A ramp (sample = 16 x its source frame) shows where the heads read. In the first half of
// grain g (p < G / 2) only the old head sounds, at unity: it continues the previous grain,
// from S(g - 1) + G + p.
void ExpectOldHeadReads(double speed, int32_t startFrame, int grains) {
  const int32_t rate = 9000;  // G = 100 frames
  std::vector<int32_t> ramp(200000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int32_t>(16 * i);
  auto source = test::SamplesStream(rate, 1, ramp);
  source->Seek(startFrame);
  LGrainStretchStream stream(source, speed, speed, 0);
  const int32_t g = stream.GrainSamples();
  ASSERT_EQ(g, 100);
  const std::vector<int32_t> out = test::ReadInSlices(stream, grains * g, 4, 333);
  const int64_t step = static_cast<int64_t>(std::trunc(speed * g));
  const int64_t first = speed < 0 ? startFrame - g : startFrame;  // where grain 0 starts
  for (int grain = 1; grain < grains; ++grain) {
    for (int p = 0; p < g / 2; ++p) {
      const int64_t at = first + (grain - 1) * step + g + p;
      ASSERT_EQ(out[static_cast<size_t>(grain) * g + p], at >= 0 ? 16 * at : 0) << "grain " << grain << " p " << p;
    }
  }
}

TEST(GrainStretchTest, HeadsFollowTheStepForwardsWithJumpsAndBackwards) {
  ExpectOldHeadReads(2.0, 1000, 40);   // the buffer moves along
  ExpectOldHeadReads(7.0, 1000, 25);   // the window just fills the buffer
  ExpectOldHeadReads(9.0, 1000, 25);   // each grain's window is wider than the buffer: jumps
  ExpectOldHeadReads(-1.0, 3000, 25);  // backwards, grain by grain
  ExpectOldHeadReads(-7.0, 1500, 12);  // backwards past the start of the source
}

TEST(GrainStretchTest, AtSpeedOneTheInputComesThrough) {
  const std::vector<int32_t> tone = test::Tone(44100, 2, 20000, 440, 400000, 100);
  LGrainStretchStream stream(test::SamplesStream(44100, 2, tone), 1.0, 1.0, 0);
  EXPECT_EQ(stream.Length(), 20000);
  const std::vector<int32_t> out = test::ReadInSlices(stream, 20000, 6, 1500);
  for (size_t i = 0; i < out.size(); ++i) ASSERT_NEAR(out[i], tone[i], 5) << i;
}

TEST(GrainStretchTest, ACueRampsFromItsFirstSpeedToItsSecond) {
  // Fast forward as playback cues: 7 times, slowing to half speed over 8 seconds.
  const int32_t rate = 8000;
  LGrainStretchStream cue(test::ToneStream(rate, 2, rate * 60, 200, 10000), 7.0, 0.5, 8000);
  std::vector<int64_t> heads;
  for (int second = 0; second < 10; ++second) {
    test::ReadFrames(cue, rate);
    heads.push_back(cue.SourcePosition());
  }
  EXPECT_NEAR(heads[0], 7 * rate, rate);                  // about 7 seconds of source in the first
  EXPECT_NEAR(heads[9] - heads[8], rate / 2, rate / 20);  // half speed after the ramp
  for (size_t i = 1; i < heads.size(); ++i) EXPECT_GT(heads[i], heads[i - 1]);

  // Rewinding from near the start runs into silence, not out of the buffer.
  LRef<LSoundStream> early = test::ToneStream(rate, 1, rate, 200, 10000);
  early->Seek(100);
  LGrainStretchStream rewind(early, -7.0, -0.5, 8000);
  EXPECT_EQ(test::ReadFrames(rewind, rate * 2).back(), 0);
  EXPECT_LT(rewind.SourcePosition(), 0);
}

}  // namespace
}  // namespace klangor
