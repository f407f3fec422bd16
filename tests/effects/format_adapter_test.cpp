// Channel conversion, the format adapter, and the processing pump putting them in front of
// sinks of another format (loading and saving included).

#include <gtest/gtest.h>

#include <vector>

#include "audio/error_stream.h"
#include "audio/sample_format.h"
#include "effects/channel_converter.h"
#include "effects/fixed_point.h"
#include "effects/format_adapter.h"
#include "effects/processing_pump.h"
#include "effects/rate_converter.h"
#include "formats/load_save.h"
#include "formats/wav_file.h"
#include "formats/wave_format.h"
#include "rate_test_util.h"
#include "store/segment_stream.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using test::LMemorySink;
using test::LSamplesStream;

// Frame f, channel c holds 1000 f + c (+ 1 so that nothing is 0).
LRef<LSoundStream> Numbered(int32_t rate, int channels, int32_t frames) {
  std::vector<int32_t> samples(static_cast<size_t>(frames) * channels);
  for (int32_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) samples[static_cast<size_t>(f) * channels + c] = 1000 * f + c + 1;
  }
  return MakeRef<LSamplesStream>(rate, channels, std::move(samples));
}

TEST(ChannelConverterTest, LeftChannelOnlyOrEachSampleTwiceOrChannelsInTurn) {
  const auto convert = [](int from, int to) {
    LRef<LSoundStream> stream = MakeChannelConverter(Numbered(22050, from, 5000), to);
    EXPECT_EQ(stream->Channels(), to);
    return test::ReadInSlices(*stream, 5000, 9, 700);
  };
  const std::vector<int32_t> mono = convert(2, 1);
  for (int32_t f = 0; f < 5000; ++f) ASSERT_EQ(mono[f], 1000 * f + 1);
  const std::vector<int32_t> stereo = convert(1, 2);
  for (int32_t f = 0; f < 5000; ++f) {
    ASSERT_EQ(stereo[2 * f], 1000 * f + 1);
    ASSERT_EQ(stereo[2 * f + 1], 1000 * f + 1);
  }
  const std::vector<int32_t> five = convert(2, 5);  // L R L R L
  EXPECT_EQ(std::vector<int32_t>(five.begin() + 5, five.begin() + 10), (std::vector<int32_t>{1001, 1002, 1001, 1002, 1001}));
  const std::vector<int32_t> pair = convert(6, 2);
  EXPECT_EQ(std::vector<int32_t>(pair.begin() + 2, pair.begin() + 4), (std::vector<int32_t>{1001, 1002}));

  LRef<LSoundStream> same = Numbered(8000, 2, 10);
  EXPECT_EQ(MakeChannelConverter(same, 2), same);
  EXPECT_EQ(MakeChannelConverter(same, 0), same);
  EXPECT_EQ(MakeChannelConverter(same, 256), same);
  LRef<LSoundStream> broken = MakeErrorStream(LStreamState::kCannotOpen);
  EXPECT_EQ(MakeChannelConverter(broken, 2), broken);
}

TEST(FormatAdapterTest, FewerChannelsFirstThenTheRateThenMoreChannels) {
  LRef<LSoundStream> fits = Numbered(44100, 2, 100);
  EXPECT_EQ(MakeFormatAdapter(fits, 44100, 2), fits);

  // Stereo to a mono 48000 Hz sink: the left channel alone is converted.
  const std::vector<int32_t> stereo = test::Tone(44100, 2, 20000, 1000, 300000, 2000);
  std::vector<int32_t> left(20000);
  for (int32_t f = 0; f < 20000; ++f) left[f] = stereo[2 * f];
  LRef<LSoundStream> down = MakeFormatAdapter(MakeRef<LSamplesStream>(44100, 2, stereo), 48000, 1);
  LRef<LSoundStream> leftOnly = MakeRateConverter(MakeRef<LSamplesStream>(44100, 1, left), 48000);
  ASSERT_EQ(down->Length(), leftOnly->Length());
  EXPECT_EQ(down->SampleRate(), 48000);
  EXPECT_EQ(test::ReadFrames(*down, down->Length()), test::ReadFrames(*leftOnly, leftOnly->Length()));

  // Mono to a stereo 22050 Hz sink: converted once, then both channels carry it.
  LRef<LSoundStream> up = MakeFormatAdapter(MakeRef<LSamplesStream>(44100, 1, left), 22050, 2);
  LRef<LSoundStream> monoOnly = MakeRateConverter(MakeRef<LSamplesStream>(44100, 1, left), 22050);
  const std::vector<int32_t> both = test::ReadFrames(*up, up->Length());
  const std::vector<int32_t> one = test::ReadFrames(*monoOnly, monoOnly->Length());
  ASSERT_EQ(both.size(), 2 * one.size());
  for (size_t f = 0; f < one.size(); ++f) {
    ASSERT_EQ(both[2 * f], one[f]);
    ASSERT_EQ(both[2 * f + 1], one[f]);
  }
  // Targets the adapter cannot reach leave that part as it is.
  EXPECT_EQ(MakeFormatAdapter(fits, 0, 2), fits);
  EXPECT_EQ(MakeFormatAdapter(fits, 44100, 0), fits);
}

TEST(FormatAdapterTest, ThePumpAdaptsTheSourceToItsSink) {
  test::LRecordingProgress progress;
  auto sink = MakeRef<LMemorySink>(44100, 2);
  EXPECT_EQ(ProcessingPump("Lade Datei a.wav", Numbered(22050, 1, 30000), *sink, progress), LResult::kDone);
  EXPECT_EQ(sink->FramesWritten(), 60000);  // P = 2, s = 1: exactly twice as many frames
  for (size_t f = 0; f < 60000; ++f) ASSERT_EQ(sink->samples[2 * f], sink->samples[2 * f + 1]);
  EXPECT_EQ(progress.questions, 9);  // eight pieces of 8192 frames and the last question
  EXPECT_DOUBLE_EQ(progress.fractions.back(), 1.0);

  // A loud document stream is converted and then limited to 16-bit full scale.
  auto limited = MakeRef<LMemorySink>(8000, 1);
  LSilentProgress quiet;
  LRef<LSoundStream> loud =
      MakeRef<LSamplesStream>(44100, 2, test::Tone(44100, 2, 44100, 300, 1800000), kDocumentFullScale);
  EXPECT_EQ(ProcessingPump("t", loud, *limited, quiet), LResult::kDone);
  EXPECT_NEAR(limited->FramesWritten(), 8000, 2);
  EXPECT_LE(PeakOf(limited->samples.data(), limited->samples.size()), kFullScale16 + 16);
  EXPECT_GT(PeakOf(limited->samples.data(), limited->samples.size()), kFullScale16 / 2);

  // A sink whose rate nothing can reach gets nothing.
  class LNoRateSink final : public LSoundSink {
   public:
    LNoRateSink() : LSoundSink(0, 1) {}
    void Write(const int32_t*, int32_t frameCount) override { AddFramesWritten(frameCount); }
    void Seek(int32_t) override {}
  };
  auto noRate = MakeRef<LNoRateSink>();
  EXPECT_EQ(ProcessingPump("t", Numbered(8000, 1, 10), *noRate, quiet), LResult::kFailed);
  EXPECT_EQ(noRate->FramesWritten(), 0);
}

TEST(FormatAdapterTest, ALoadedFileIsSavedAtTheRateAndChannelsOfItsSink) {
  if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
  const std::string input = test::TempPath(".wav");
  ASSERT_EQ(test::Run({"sox", "-V1", "-R", "-n", "-b", "16", "-r", "22050", "-c", "1", input, "synth", "0.5", "sine",
                       "3000", "vol", "0.4"}), 0);
  LSilentProgress progress;
  LRef<LSoundStream> file = OpenWaveFile(input);
  ASSERT_TRUE(file->Usable());
  LSegmentList sound;
  ASSERT_EQ(LoadStream(*file, input, sound, progress), LResult::kDone);
  EXPECT_EQ(sound.SampleRate(), 22050);
  EXPECT_EQ(sound.Length(), 11025);

  const std::string output = test::TempPath(".wav");
  LRef<LSoundStream> reader = OpenSegmentStream(sound);
  ASSERT_EQ(SaveStream(*reader, output,
                       [](const std::string& path) { return CreateWaveFile(path, MakePcm16Format(44100, 2)); },
                       progress),
            LResult::kDone);
  LRef<LSoundStream> saved = OpenWaveFile(output);
  ASSERT_TRUE(saved->Usable());
  EXPECT_EQ(saved->SampleRate(), 44100);
  EXPECT_EQ(saved->Channels(), 2);
  EXPECT_EQ(saved->Length(), 22050);
  const std::vector<int32_t> samples = test::ReadFrames(*saved, 22050);
  const std::vector<double> left = test::Channel(samples, 2, 0, 2000, 20000);
  EXPECT_NEAR(test::Amplitude(left, 44100, 3000), 0.4 * 524272, 0.01 * 524272);
  EXPECT_EQ(test::Channel(samples, 2, 1, 0, 22050), test::Channel(samples, 2, 0, 0, 22050));
}

}  // namespace
}  // namespace klangor
