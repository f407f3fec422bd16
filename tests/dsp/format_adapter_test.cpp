// The processing pump (copying a source into a sink under a progress window), the channel
// converter and the format adapter it puts in front of sinks of another format, loading and
// saving included, and the limiter it puts after document audio.

#include <gtest/gtest.h>

#include <vector>

#include "audio/error_stream.h"
#include "audio/pump.h"
#include "audio/sample_format.h"
#include "docio/load_save.h"
#include "dsp/channel_converter.h"
#include "dsp/fixed_point.h"
#include "dsp/format_adapter.h"
#include "dsp/processing_pump.h"
#include "dsp/rate_converter.h"
#include "formats/wav_file.h"
#include "formats/wave_format.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

using test::LMemorySink;

// Frame f, channel c holds 1000 f + c + 1.
LRef<LSoundStream> Numbered(int32_t rate, int channels, int32_t frames, int32_t fullScale = kFullScale16) {
  return MakeRef<test::LFunctionStream>(
      rate, channels, frames, [](int64_t f, int c) { return static_cast<int32_t>(1000 * f + c + 1); }, fullScale);
}

TEST(ProcessingPumpTest, CopiesFromThePositionToTheEndAndShowsItsLines) {
  LRef<LSoundStream> source = Numbered(44100, 2, 30000);
  source->Seek(1000);
  auto sink = MakeRef<LMemorySink>(44100, 2);
  test::LRecordingProgress progress;
  EXPECT_EQ(ProcessingPump("Lade Datei x.wav", source, *sink, progress), LResult::kDone);
  EXPECT_EQ(progress.title, "Lade Datei x.wav");
  EXPECT_EQ(progress.status, "Bitte warten...");
  ASSERT_EQ(sink->FramesWritten(), 29000);
  EXPECT_EQ(sink->samples[0], 1000001);
  EXPECT_EQ(sink->samples.back(), 29999002);
  EXPECT_EQ(progress.questions, 5);  // before each of the four pieces, and once more at the end
  EXPECT_DOUBLE_EQ(progress.fractions.back(), 1.0);
}

TEST(ProcessingPumpTest, CancelFailuresAndUnusableEndsStopTheRun) {
  auto sink = MakeRef<LMemorySink>(44100, 2);
  test::LCancelAfter cancelThird(2);
  EXPECT_EQ(ProcessingPump("t", Numbered(44100, 2, 100000), *sink, cancelThird), LResult::kCancelled);
  EXPECT_EQ(sink->FramesWritten(), 2 * kPumpFrames);

  LSilentProgress progress;
  auto failing = MakeRef<LMemorySink>(44100, 2);
  failing->failAfterFrames = 10000;
  EXPECT_EQ(ProcessingPump("t", Numbered(44100, 2, 100000), *failing, progress), LResult::kFailed);

  auto mono = MakeRef<LMemorySink>(44100, 1);
  EXPECT_EQ(ProcessingPump("t", MakeErrorStream(LStreamState::kCorrupt), *mono, progress), LResult::kFailed);
  EXPECT_EQ(ProcessingPump("t", nullptr, *mono, progress), LResult::kFailed);
  EXPECT_EQ(ProcessingPump("t", Numbered(44100, 1, 10), *MakeRef<LNullSink>(), progress), LResult::kFailed);
  EXPECT_EQ(mono->FramesWritten(), 0);
  // A sink whose rate nothing can reach gets nothing.
  class LNoRateSink final : public LSoundSink {
   public:
    LNoRateSink() : LSoundSink(0, 1) {}
    void Write(const int32_t*, int32_t frameCount) override { AddFramesWritten(frameCount); }
    void Seek(int32_t) override {}
  };
  auto noRate = MakeRef<LNoRateSink>();
  EXPECT_EQ(ProcessingPump("t", Numbered(8000, 1, 10), *noRate, progress), LResult::kFailed);
  EXPECT_EQ(noRate->FramesWritten(), 0);
}

TEST(ProcessingPumpTest, LimitsSourcesThatMayExceedSixteenBitFullScale) {
  LSilentProgress progress;
  // A document stream within 16-bit full scale passes untouched.
  auto quiet = MakeRef<LMemorySink>(44100, 1);
  EXPECT_EQ(ProcessingPump("t", Numbered(44100, 1, 500, kDocumentFullScale), *quiet, progress), LResult::kDone);
  EXPECT_EQ(quiet->samples, test::ReadAll(*Numbered(44100, 1, 500)));

  // A loud one is brought within it.
  auto loud = MakeRef<LMemorySink>(44100, 2);
  EXPECT_EQ(ProcessingPump("t", test::Passages(44100, 2, 88200, 100000, 2000000, 250), *loud, progress),
            LResult::kDone);
  ASSERT_EQ(loud->FramesWritten(), 88200);
  EXPECT_LE(PeakOf(loud->samples.data(), loud->samples.size()), kFullScale16);

  // A decoded file claims 16-bit full scale: nothing is limited.
  auto decoded = MakeRef<LMemorySink>(44100, 1);
  LRef<LSoundStream> beyond = MakeRef<test::LFunctionStream>(44100, 1, 3, [](int64_t f, int) {
    return static_cast<int32_t>((f - 1) * 600000);
  });
  EXPECT_EQ(ProcessingPump("t", beyond, *decoded, progress), LResult::kDone);
  EXPECT_EQ(decoded->samples, (std::vector<int32_t>{-600000, 0, 600000}));
}

TEST(ChannelConverterTest, ChannelsInTurnAndCountsItCannotMake) {
  const auto convert = [](int from, int to) {
    LRef<LSoundStream> stream = MakeChannelConverter(Numbered(22050, from, 5000), to);
    EXPECT_EQ(stream->Channels(), to);
    return test::ReadInSlices(*stream, 5000, 9, 700);
  };
  // Mono and stereo are checked through the channel commands; here the other counts.
  EXPECT_EQ(test::Frames(convert(2, 5), 5, 1, 2), (std::vector<int32_t>{1001, 1002, 1001, 1002, 1001}));
  EXPECT_EQ(test::Frames(convert(6, 2), 2, 1, 2), (std::vector<int32_t>{1001, 1002}));

  LRef<LSoundStream> same = Numbered(8000, 2, 10);
  for (int channels : {2, 0, 256}) EXPECT_EQ(MakeChannelConverter(same, channels), same) << channels;
  LRef<LSoundStream> broken = MakeErrorStream(LStreamState::kCannotOpen);
  EXPECT_EQ(MakeChannelConverter(broken, 2), broken);
}

TEST(FormatAdapterTest, FewerChannelsFirstThenTheRateThenMoreChannels) {
  LRef<LSoundStream> fits = Numbered(44100, 2, 100);
  EXPECT_EQ(MakeFormatAdapter(fits, 44100, 2), fits);
  // Targets the adapter cannot reach leave that part as it is.
  EXPECT_EQ(MakeFormatAdapter(fits, 0, 2), fits);
  EXPECT_EQ(MakeFormatAdapter(fits, 44100, 0), fits);

  // Stereo to a mono 48000 Hz sink: the left channel alone is converted.
  const std::vector<int32_t> stereo = test::Tone(44100, 2, 20000, 1000, 300000, 2000);
  std::vector<int32_t> left(20000);
  for (int32_t f = 0; f < 20000; ++f) left[f] = stereo[2 * f];
  LRef<LSoundStream> down = MakeFormatAdapter(test::SamplesStream(44100, 2, stereo), 48000, 1);
  LRef<LSoundStream> leftOnly = MakeRateConverter(test::SamplesStream(44100, 1, left), 48000);
  ASSERT_EQ(down->Length(), leftOnly->Length());
  EXPECT_EQ(down->SampleRate(), 48000);
  EXPECT_EQ(test::ReadFrames(*down, down->Length()), test::ReadFrames(*leftOnly, leftOnly->Length()));

  // Mono to a stereo 22050 Hz sink: converted once, then both channels carry it.
  LRef<LSoundStream> up = MakeFormatAdapter(test::SamplesStream(44100, 1, left), 22050, 2);
  LRef<LSoundStream> monoOnly = MakeRateConverter(test::SamplesStream(44100, 1, left), 22050);
  const std::vector<int32_t> both = test::ReadFrames(*up, up->Length());
  const std::vector<int32_t> one = test::ReadFrames(*monoOnly, monoOnly->Length());
  ASSERT_EQ(both.size(), 2 * one.size());
  for (size_t f = 0; f < one.size(); ++f) {
    ASSERT_EQ(both[2 * f], one[f]);
    ASSERT_EQ(both[2 * f + 1], one[f]);
  }
}

// A mono file saved as stereo at twice its rate is checked with sox below.
TEST(FormatAdapterTest, ThePumpConvertsLoudDocumentAudioAndThenLimitsIt) {
  auto limited = MakeRef<LMemorySink>(8000, 1);
  LSilentProgress progress;
  LRef<LSoundStream> loud =
      test::SamplesStream(44100, 2, test::Tone(44100, 2, 44100, 300, 1800000), kDocumentFullScale);
  EXPECT_EQ(ProcessingPump("t", loud, *limited, progress), LResult::kDone);
  EXPECT_NEAR(limited->FramesWritten(), 8000, 2);
  EXPECT_LE(PeakOf(limited->samples.data(), limited->samples.size()), kFullScale16 + 16);
  EXPECT_GT(PeakOf(limited->samples.data(), limited->samples.size()), kFullScale16 / 2);
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
  ASSERT_EQ(LoadStream(file, input, sound, progress), LResult::kDone);
  EXPECT_EQ(sound.SampleRate(), 22050);
  EXPECT_EQ(sound.Length(), 11025);

  const std::string output = test::TempPath(".wav");
  LRef<LSoundStream> reader = OpenSegmentStream(sound);
  ASSERT_EQ(SaveStream(reader, output,
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

// Loading and saving take their stream's ownership: a stream nobody else holds is read whole
// and released once, when the pump's chain lets go of it.
class LCountedStream final : public LSoundStream {
 public:
  explicit LCountedStream(int* released) : LSoundStream(8000, kFullScale16, 1), released_(released) {}
  ~LCountedStream() override { ++*released_; }
  void Read(int32_t* frames, int32_t frameCount) override {
    for (int32_t i = 0; i < frameCount; ++i) frames[i] = (position_ + i) % 100 * 16;
    position_ += frameCount;
  }
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return 3000; }
  void Seek(int32_t frame) override { position_ = frame; }

 private:
  int* released_;
  int32_t position_ = 0;
};

TEST(LoadSaveTest, StreamsHandedOverAreReleasedOnceTheirWorkIsDone) {
  LSilentProgress progress;
  int released = 0;
  LSegmentList sound;
  ASSERT_EQ(LoadStream(MakeRef<LCountedStream>(&released), "counted.wav", sound, progress), LResult::kDone);
  EXPECT_EQ(released, 1);
  EXPECT_EQ(sound.Length(), 3000);
  const std::string output = test::TempPath(".wav");
  ASSERT_EQ(SaveStream(MakeRef<LCountedStream>(&released), output,
                       [](const std::string& path) { return CreateWaveFile(path, MakePcm16Format(8000, 1)); },
                       progress),
            LResult::kDone);
  EXPECT_EQ(released, 2);
  EXPECT_EQ(test::ReadAll(*OpenWaveFile(output)), test::ReadAll(*OpenSegmentStream(sound)));
}

}  // namespace
}  // namespace klangor
