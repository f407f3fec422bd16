// The recorder engine over the virtual input: exact takes, sound-activated start with its
// pre-roll, trim and voice activation as the buffers fall, DC removal, levels, and what
// happens when the input is lost, too fast for the sink, or the sink fails.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <thread>

#include "recorder/recorder.h"
#include "recorder/take_file.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using namespace std::chrono_literals;

// Loud (about -6 dB) where `loud(frame)` holds, silent elsewhere.
LRef<LSoundStream> Bursts(int32_t rate, int channels, int32_t length, std::function<bool(int64_t)> loud) {
  return MakeRef<test::LFunctionStream>(rate, channels, length, [loud](int64_t frame, int channel) {
    return loud(frame) ? static_cast<int32_t>(((frame * 37 + channel * 11) % 2000 - 1000) * 16 + 16 * 16000) : 0;
  });
}

struct LEvents final : LRecorderListener {
  void Recording(uint32_t) override { ++recording; }
  void Waiting(uint32_t) override { ++waiting; }
  void Stopped(uint32_t) override { ++stopped; }
  void Position(int64_t ms, uint32_t) override { lastMs = ms; }
  void Levels(const LLevelRecord& record, uint32_t) override { levels = record; }
  void Problem(const std::string& message, uint32_t) override { problems.push_back(message); }
  int recording = 0, waiting = 0, stopped = 0;
  int64_t lastMs = -1;
  LLevelRecord levels;
  std::vector<std::string> problems;
};

struct LTake {
  LRef<test::LMemorySink> sink;
  LEvents events;
  bool started = false;
  std::vector<int32_t> Samples() const {
    return {sink->samples.begin(), sink->samples.begin() + sink->FramesWritten() * sink->Channels()};
  }
};

// Records `source` through a virtual input until the recorder stops by itself.
void Record(LTake& take, LVirtualInputOptions input, int threshold, int64_t silenceMs, bool dcOffset = false,
            int64_t limitMs = 0, int32_t rate = 0, int channels = 0) {
  LRef<LSoundStream> probe = input.source ? input.source() : nullptr;
  if (!take.sink) {
    take.sink = MakeRef<test::LMemorySink>(probe ? probe->SampleRate() : rate, probe ? probe->Channels() : channels);
  }
  input.carriesDcOffset = dcOffset;
  LRunLoop loop;
  LVirtualInputDevices devices(std::move(input));
  LRecorder recorder(loop, devices);
  recorder.SetListener(&take.events, 7);
  recorder.SetSink(take.sink);
  take.started = recorder.Start(limitMs, threshold, silenceMs);
  if (!take.started) return;
  EXPECT_TRUE(loop.RunUntil([&] { return !recorder.IsRunning(); }, 20s));
}

LVirtualInputOptions Fast(LRef<LSoundStream> source) {
  LVirtualInputOptions options;
  options.pacing = LPacing::kAsFastAsPossible;
  options.source = [source] {
    source->Seek(0);
    return source;
  };
  return options;
}

std::vector<int32_t> Slice(LSoundStream& stream, int64_t from, int64_t frames) {
  std::vector<int32_t> samples(static_cast<size_t>(frames * stream.Channels()));
  stream.Seek(static_cast<int32_t>(from));
  stream.Read(samples.data(), static_cast<int32_t>(frames));
  return samples;
}

TEST(RecorderTest, TakesHoldTheInputExactlyWithoutTrimAndWithALimit) {
  for (auto [rate, channels, length] : {std::tuple{8000, 1, 12345}, std::tuple{44100, 2, 100000}}) {
    auto source = Bursts(rate, channels, length, [](int64_t frame) { return frame % 5000 < 2500; });
    LTake take;
    Record(take, Fast(source), -127, 216000000);
    ASSERT_TRUE(take.started);
    EXPECT_EQ(take.Samples(), Slice(*source, 0, length)) << rate;
    EXPECT_EQ(take.events.stopped, 1);
    EXPECT_TRUE(take.events.problems.empty());

    LTake limited;
    Record(limited, Fast(source), -127, 216000000, false, 1000);
    EXPECT_EQ(limited.sink->FramesWritten(), rate);
    EXPECT_EQ(limited.Samples(), Slice(*source, 0, rate));
  }
}

TEST(RecorderTest, SoundActivatedStartKeepsHalfABufferOfPreRollAndStopCutsAfterTheLastLoudBuffer) {
  // 1 s silence, 1 s sound, 3 s silence; buffers of 4410 frames.
  auto source = Bursts(44100, 2, 5 * 44100, [](int64_t f) { return f >= 44100 && f < 88200; });
  LTake take;
  Record(take, Fast(source), -24, 216000000);
  ASSERT_TRUE(take.started);
  // From 2205 frames before the sound to 50 ms after the buffer that ended it.
  const int64_t begin = 44100 - 2205;
  const int64_t frames = 2205 + 44100 + 2205;
  ASSERT_EQ(take.sink->FramesWritten(), frames);
  EXPECT_EQ(take.Samples(), Slice(*source, begin, frames));
  EXPECT_GE(take.events.waiting, 1);
  EXPECT_EQ(take.events.recording, 1);
  EXPECT_EQ(take.events.levels.channels, 2);

  // A threshold no input reaches: nothing is written, and that is no failure.
  LTake never;
  Record(never, Fast(source), 127, 216000000);
  EXPECT_TRUE(never.started);
  EXPECT_EQ(never.sink->FramesWritten(), 0);
}

TEST(RecorderTest, VoiceActivationRewindsAfterTheSilenceTimeAndWaitsAgain) {
  // 1 s sound, 6 s silence, 1 s sound, 1 s silence (mono, 4410-frame buffers).
  auto source = Bursts(44100, 1, 9 * 44100, [](int64_t f) { return f < 44100 || (f >= 7 * 44100 && f < 8 * 44100); });
  LTake take;
  Record(take, Fast(source), -24, 5000);
  // 1 s + 450 ms of the pause, the pre-roll, 1 s, 50 ms.
  const int64_t first = 44100 + 19845;
  ASSERT_EQ(take.sink->FramesWritten(), first + 2205 + 44100 + 2205);
  const std::vector<int32_t> samples = take.Samples();
  EXPECT_EQ(std::vector<int32_t>(samples.begin(), samples.begin() + first), Slice(*source, 0, first));
  EXPECT_EQ(std::vector<int32_t>(samples.begin() + first, samples.end()), Slice(*source, 7 * 44100 - 2205, 48510));
  EXPECT_GE(take.events.recording, 1);  // state changes close together merge into one report
}

TEST(RecorderTest, LevelsOfPeaksAndDcRemoval) {
  const int32_t full[] = {524272, -524272, 0, 131072};
  EXPECT_EQ(PeakLevel(full, 4, 1, 0), 12);
  EXPECT_EQ(PeakLevel(full + 2, 1, 1, 0), -127);
  EXPECT_EQ(PeakLevel(full + 3, 1, 1, 0), 0);
  LLevelRecord record;
  record.channels = 2;
  record.levels[0] = -30;
  record.levels[1] = -10;
  EXPECT_EQ(OverallLevel(record), -10);

  // A constant offset fades out with a time constant of about 4096 / k samples (k = 25 at 8000 Hz).
  auto offset = MakeRef<test::LFunctionStream>(8000, 1, 8000, [](int64_t, int) { return 1000 * 16; });
  LTake take;
  Record(take, Fast(offset), -127, 216000000, true);
  const std::vector<int32_t> samples = take.Samples();
  ASSERT_EQ(samples.size(), 8000u);
  EXPECT_EQ(samples[0], 16000);
  EXPECT_NEAR(samples[164], 16000 * 0.37, 16000 * 0.05);
  EXPECT_LT(std::abs(samples[7999]), 16);
}

// Slow to write: a disk that cannot keep up.
class LSlowSink final : public LSoundSink {
 public:
  LSlowSink(int32_t rate, int channels, int32_t startFrames = 0) : LSoundSink(rate, channels) {
    SetFramesWritten(startFrames);
  }
  void Write(const int32_t*, int32_t frames) override {
    std::this_thread::sleep_for(delay);
    AddFramesWritten(frames);
  }
  void Seek(int32_t frame) override { SetFramesWritten(frame); }
  std::chrono::milliseconds delay{0};
};

constexpr int64_t kRoomyWaveHeaderBytesForTest = 82;  // the growing file's header

TEST(RecorderTest, OverrunsAreCountedAndReportedAndTheCountersPassTwoHoursAt96kHz) {
  // A clock 40 times real time into a sink that takes 40 ms a buffer: the input's 3.2 s
  // buffer runs over, and every lost frame is counted.
  const int32_t length = 30 * 8000;
  auto source = Bursts(8000, 1, length, [](int64_t) { return true; });
  LVirtualInputOptions input = Fast(source);
  input.pacing = LPacing::kRealTime;
  input.speed = 40;
  auto slow = MakeRef<LSlowSink>(8000, 1);
  slow->delay = 40ms;
  LTake take;
  take.sink = nullptr;
  {
    LRunLoop loop;
    LVirtualInputDevices devices(input);
    LRecorder recorder(loop, devices);
    recorder.SetListener(&take.events, 0);
    recorder.SetSink(slow);
    ASSERT_TRUE(recorder.Start(0, -127, 216000000));
    ASSERT_TRUE(loop.RunUntil([&] { return !recorder.IsRunning(); }, 20s));
    EXPECT_GE(recorder.Overruns(), 1);
    EXPECT_GT(recorder.LostFrames(), 0);
    EXPECT_EQ(slow->FramesWritten() + recorder.LostFrames(), length);
  }
  ASSERT_FALSE(take.events.problems.empty());
  EXPECT_NE(take.events.problems.front().find("verloren"), std::string::npos);

  // A take that is 2 hours long at 96 kHz stereo already: lengths and times do not wrap.
  const int32_t twoHours = 2 * 3600 * 96000;
  auto big = MakeRef<LSlowSink>(96000, 2, twoHours - 96000);
  auto second = Bursts(96000, 2, 96000, [](int64_t) { return true; });
  LTake longTake;
  longTake.sink = nullptr;
  {
    LRunLoop loop;
    LVirtualInputDevices devices(Fast(second));
    LRecorder recorder(loop, devices);
    recorder.SetListener(&longTake.events, 0);
    recorder.SetSink(big);
    ASSERT_TRUE(recorder.Start(0, -127, 216000000));
    ASSERT_TRUE(loop.RunUntil([&] { return !recorder.IsRunning(); }, 20s));
    EXPECT_EQ(recorder.TakeFrames(), twoHours);
  }
  EXPECT_EQ(big->FramesWritten(), twoHours);
  EXPECT_GT(longTake.events.lastMs, 7'199'000);

  // The same into a take file that holds 2 hours less a second already (sparse, 2.76 GB):
  // byte offsets past 2^31 and the finished header are right, the last second is the input's.
  const std::string path = test::TempPath(".wav");
  CreateTakeFile(path, 96000, 2)->Finish();
  ASSERT_EQ(::truncate(path.c_str(), kRoomyWaveHeaderBytesForTest + int64_t{twoHours - 96000} * 4), 0);
  {
    LRunLoop loop;
    LVirtualInputDevices devices(Fast(second));
    LRecorder recorder(loop, devices);
    recorder.SetSink(CreateTakeFile(path, 96000, 2, twoHours - 96000));
    ASSERT_TRUE(recorder.Start(0, -127, 216000000));
    ASSERT_TRUE(loop.RunUntil([&] { return !recorder.IsRunning(); }, 20s));
  }
  LRef<LSoundStream> file = OpenTakeSource(path);
  ASSERT_EQ(file->Length(), twoHours);
  EXPECT_EQ(Slice(*file, twoHours - 96000, 96000), Slice(*second, 0, 96000));
  EXPECT_EQ(Slice(*file, 1000, 2), std::vector<int32_t>(4, 0));
  ::unlink(path.c_str());
}

TEST(RecorderTest, LostDevicesFullDisksAndMissingDevicesEndWithAMessageAndKeepTheTake) {
  auto source = Bursts(8000, 1, 80000, [](int64_t) { return true; });
  LVirtualInputOptions failing = Fast(source);
  failing.failAfterFrames = 12000;
  LTake gone;
  Record(gone, failing, -127, 216000000);
  ASSERT_TRUE(gone.started);
  EXPECT_EQ(gone.Samples(), Slice(*source, 0, 12000));
  ASSERT_EQ(gone.events.problems.size(), 1u);
  EXPECT_EQ(gone.events.problems[0], kInputFailedMessage);

  LTake full;
  full.sink = MakeRef<test::LMemorySink>(8000, 1);
  full.sink->failAfterFrames = 4000;
  Record(full, Fast(source), -127, 216000000);
  EXPECT_EQ(full.sink->FramesWritten(), 4000);  // five whole buffers fitted
  ASSERT_FALSE(full.events.problems.empty());
  EXPECT_EQ(full.events.problems[0], kWriteFailedMessage);
  EXPECT_EQ(full.events.stopped, 1);

  // No such device, and a sink that failed already: refused at the start.
  LRunLoop loop;
  LVirtualInputDevices devices(Fast(source));
  LRecorder recorder(loop, devices);
  recorder.SetDevice(3);
  recorder.SetSink(MakeRef<test::LMemorySink>(8000, 1));
  EXPECT_FALSE(recorder.Start(0, -24, 5000));
  EXPECT_NE(recorder.LastError().find(kNoInputMessage), std::string::npos);
  EXPECT_FALSE(recorder.IsRunning());
  recorder.SetDevice(0);
  auto broken = MakeRef<test::LMemorySink>(8000, 0);
  recorder.SetSink(broken);
  EXPECT_FALSE(recorder.Start(0, -24, 5000));
}

}  // namespace
}  // namespace klangor
