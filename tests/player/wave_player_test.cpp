// LWavePlayer over the virtual device: what it plays (captured sample for sample), the
// order of its reports, buffer sizes, levels, scrubbing, seeking, end of play, and bad
// sources, devices that fail and threads that do not stop.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "player/levels.h"
#include "player/loop_stream.h"
#include "player/wave_player.h"
#include "player_test_util.h"
#include "store/segment_stream.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using namespace std::chrono_literals;
using test::LFunctionStream;
using test::LRecordingListener;

int32_t Wave(int64_t frame, int channel) {
  return static_cast<int32_t>(std::lround(std::sin(static_cast<double>(frame) * 0.01 * (channel + 1)) * 20000.0)) * 16;
}

LRef<LSoundStream> Tone(int32_t rate, int channels, int32_t length) {
  return MakeRef<LFunctionStream>(rate, channels, length, Wave);
}

TEST(NotifierTest, PostsRunOnTheLoopMergedAndNotAfterTheChannelIsGone) {
  LRunLoop loop;
  int calls = 0;
  auto channel = loop.OpenChannel([&calls] { ++calls; });
  std::thread worker([&channel] {
    for (int i = 0; i < 100; ++i) channel->Post();
  });
  worker.join();
  EXPECT_EQ(loop.RunPending(), 1);  // merged into one call
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop.RunPending(10ms), 0);
  channel->Post();
  channel.reset();
  EXPECT_EQ(loop.RunPending(), 0);
  EXPECT_EQ(calls, 1);
  // A handler may post again; that call waits for the next round.
  std::unique_ptr<LNotifyChannel> again;
  again = loop.OpenChannel([&] {
    if (++calls < 5) again->Post();
  });
  again->Post();
  EXPECT_EQ(loop.RunPending(), 1);
  EXPECT_TRUE(loop.RunUntil([&calls] { return calls == 5; }, 2s));
}

class WavePlayerTest : public ::testing::Test {
 protected:
  explicit WavePlayerTest(LPacing pacing = LPacing::kAsFastAsPossible)
      : capture_(test::TempPath(".wav")), devices_({pacing, capture_}), player_(loop_, devices_, {200ms}) {
    player_.SetListener(&listener_, 7);
  }

  // Plays until the player closes itself.
  void PlayToEnd(LRef<LSoundStream> source) {
    ASSERT_TRUE(player_.Open(std::move(source))) << player_.LastError();
    ASSERT_TRUE(loop_.RunUntil([this] { return !player_.IsOpen(); }, 20s));
  }

  std::string capture_;
  LRunLoop loop_;
  LVirtualOutputDevices devices_;
  LRecordingListener listener_;
  LWavePlayer player_;
};

TEST_F(WavePlayerTest, PlaysTheSourceExactlyAndReportsInOrder) {
  const int32_t length = 44100 * 3 + 1234;
  PlayToEnd(Tone(44100, 2, length));
  EXPECT_EQ(test::CaptureSamples(capture_), test::Expected16(Tone(44100, 2, length), length));
  const std::vector<LRecordingListener::LCall>& calls = listener_.calls;
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls.front().what, "Started");
  EXPECT_EQ(calls[1].what, "Position");
  EXPECT_EQ(calls[1].frame, 0);
  EXPECT_EQ(calls.back().what, "Stopped");
  const LRecordingListener::LCall& last = calls[calls.size() - 2];
  EXPECT_EQ(last.what, "Position");
  EXPECT_EQ(last.frame, length);
  EXPECT_EQ(last.ms, 3027);  // 1234 frames are 27 ms
  int32_t previous = -1;
  for (const auto& call : calls) {
    if (call.what != "Position") continue;
    EXPECT_GE(call.frame, previous);
    // Each report is the end of a played buffer: a multiple of 4410 frames, or the end.
    EXPECT_TRUE(call.frame % 4410 == 0 || call.frame == length) << call.frame;
    previous = call.frame;
  }
  EXPECT_EQ(player_.State(), kStateClosed);
  EXPECT_EQ(player_.Underruns(), 0);
}

TEST_F(WavePlayerTest, DocumentStreamsPlayThroughTheLimiter) {
  // Twice as loud as 16 bits allow: the limiter brings it into range, the rest is exact.
  std::vector<int32_t> samples(20000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = Wave(static_cast<int64_t>(i), 0);
  LSegmentList sound = test::MakeSound(22050, 1, samples);
  sound.ScaleGain(200);
  PlayToEnd(OpenSegmentStream(sound));
  const std::vector<int16_t> got = test::CaptureSamples(capture_);
  EXPECT_EQ(got, test::Expected16(OpenSegmentStream(sound), 20000));
}

TEST_F(WavePlayerTest, BufferLengthFollowsTheRate) {
  for (auto [rate, frames] : {std::pair{8000, 800}, {96000, 8192}, {100, 20}, {44100, 4410}}) {
    ASSERT_TRUE(player_.Open(Tone(rate, 1, rate * 100))) << rate;
    EXPECT_EQ(player_.BufferFrames(), frames) << rate;
    player_.Close();
  }
  EXPECT_EQ(PlayerBufferFrames(192000), 8192);
}

TEST_F(WavePlayerTest, ShortSourcesPlayAndEndWithTheirLength) {
  for (int32_t length : {1, 100}) {
    listener_.calls.clear();
    PlayToEnd(Tone(44100, 1, length));
    EXPECT_EQ(test::CaptureSamples(capture_).size(), static_cast<size_t>(length));
    ASSERT_GE(listener_.calls.size(), 3u);
    const auto& calls = listener_.calls;
    EXPECT_EQ(calls[calls.size() - 2].what, "Position");
    EXPECT_EQ(calls[calls.size() - 2].frame, length);
    EXPECT_EQ(calls.back().what, "Stopped");
  }
  // An empty source ends at once.
  listener_.calls.clear();
  PlayToEnd(Tone(44100, 1, 0));
  EXPECT_EQ(listener_.Kinds(), (std::vector<std::string>{"Started", "Position", "Stopped"}));
}

TEST_F(WavePlayerTest, EightChannelsAt192kHzPlayExactly) {
  const int32_t length = 192000 / 2;
  PlayToEnd(Tone(192000, 8, length));
  EXPECT_EQ(test::CaptureSamples(capture_), test::Expected16(Tone(192000, 8, length), length));
}

TEST_F(WavePlayerTest, UnusableSourcesAndMissingDevicesGiveAClearError) {
  // A 0-Hz or 0-channel stream is marked corrupt when it is made.
  EXPECT_FALSE(player_.Open(Tone(0, 1, 1000)));
  EXPECT_NE(player_.LastError().find("cannot be played"), std::string::npos);
  EXPECT_FALSE(player_.Open(Tone(44100, 0, 1000)));
  EXPECT_FALSE(player_.Open(nullptr));
  EXPECT_FALSE(player_.IsOpen());
  EXPECT_TRUE(listener_.calls.empty());

  // A device number that does not exist falls back to the default device.
  player_.SetDevice(9);
  PlayToEnd(Tone(8000, 1, 1000));
  EXPECT_EQ(test::CaptureSamples(capture_).size(), 1000u);

  LVirtualOutputDevices none({}, 0);
  LWavePlayer player(loop_, none);
  EXPECT_FALSE(player.Open(Tone(8000, 1, 1000)));
  EXPECT_EQ(player.LastError(), "there is no output device 0");
}

TEST(LevelTest, LevelFormula) {
  std::vector<int32_t> silent(100, 0);
  EXPECT_EQ(ChannelLevel(silent.data(), 100, 1, 0), -127);
  for (int32_t value : {16, 1000 * 16, 32767 * 16, -32768 * 16, 12345}) {
    std::vector<int32_t> constant(50, value);
    const double m = std::floor(std::pow(static_cast<double>(value >> 5), 2));
    double level = m == 0 ? -127 : 10 * std::log10(m / 8388626.0);
    if (m != 0) level = std::trunc(level + (m >= 8388626 ? 0.5 : -0.5));
    EXPECT_EQ(ChannelLevel(constant.data(), 50, 1, 0), static_cast<int>(std::clamp(level, -127.0, 127.0))) << value;
  }
  EXPECT_EQ(ChannelLevel(std::vector<int32_t>(10, 32767 * 16).data(), 10, 1, 0), 15);
  // Stereo: each channel on its own.
  std::vector<int32_t> stereo{0, 16000, 0, 16000};
  LLevelRecord record;
  MeasureLevels(stereo.data(), 2, 2, &record);
  EXPECT_EQ(record.channels, 2);
  EXPECT_EQ(record.levels[0], -127);
  EXPECT_EQ(record.levels[1], ChannelLevel(stereo.data() + 1, 2, 2, 0));
}

TEST_F(WavePlayerTest, RepeatCapturesTheLoopWithItsSeams) {
  // 0.3 s to 0.5 s of a tone, looped; and a loop of 100 frames, which runs 256 frames.
  for (auto [startMs, endMs] : {std::pair<int64_t, int64_t>{300, 500}, {1000, 1000}}) {
    auto loop = [&] {
      LRef<LSoundStream> tone = Tone(8000, 2, 8000);
      tone->Seek(100);
      return MakeLoopStream(tone, startMs, endMs);
    };
    ASSERT_TRUE(player_.Open(loop()));
    loop_.RunUntil([] { return false; }, 100ms);
    player_.Close();
    const std::vector<int16_t> got = test::CaptureSamples(capture_);
    ASSERT_GT(got.size(), 8000u * 2) << startMs;  // several loops
    EXPECT_EQ(got, test::Expected16(loop(), static_cast<int32_t>(got.size() / 2))) << startMs;
  }
}

TEST(LoopStreamTest, ReadsSeeksAndLength) {
  auto counting = [] {
    return MakeRef<LFunctionStream>(1000, 1, 100000, [](int64_t frame, int) { return static_cast<int32_t>(frame); });
  };
  LRef<LSoundStream> loop = MakeLoopStream(counting(), 20, 10);  // swapped
  ASSERT_TRUE(loop->Usable());
  EXPECT_EQ(loop->Length(), 20 + 8 * 1000);
  std::vector<int32_t> got(30);
  loop->Seek(15);
  loop->Read(got.data(), 30);
  // 15..19, then 10..265 (a 10-frame loop runs 256 frames), ...
  for (int i = 0; i < 5; ++i) EXPECT_EQ(got[static_cast<size_t>(i)], 15 + i);
  for (int i = 5; i < 30; ++i) EXPECT_EQ(got[static_cast<size_t>(i)], 10 + i - 5);
  loop->Seek(25);  // beyond the end: into the loop
  EXPECT_EQ(loop->Position(), 15);
  LRef<LSoundStream> empty = MakeLoopStream(counting(), 50, 50);
  empty->Seek(70);
  EXPECT_EQ(empty->Position(), 50);
  // Milliseconds by the loop's rule at an odd rate.
  EXPECT_EQ(LoopMsToFrames(1500, 44100), 66150);
  EXPECT_EQ(LoopMsToFrames(999, 11025), 11 * 999 + 25 * 999 / 1000);
  // Read sizes do not matter.
  LRef<LSoundStream> a = MakeLoopStream(counting(), 1000, 1400);
  LRef<LSoundStream> b = MakeLoopStream(counting(), 1000, 1400);
  std::vector<int32_t> whole(5000);
  a->Read(whole.data(), 5000);
  EXPECT_EQ(test::ReadInRandomPieces(*b, 5000, 700, 3), whole);
  // A stream that is not usable is not looped.
  LRef<LSoundStream> bad = Tone(0, 1, 100);
  EXPECT_EQ(MakeLoopStream(bad, 0, 10), bad);
}

TEST_F(WavePlayerTest, ADeviceThatDisappearsStopsPlaybackCleanly) {
  devices_.Options().failAfterFrames = 10000;
  ASSERT_TRUE(player_.Open(Tone(44100, 2, 441000)));
  ASSERT_TRUE(loop_.RunUntil([this] { return !player_.IsOpen(); }, 10s));
  EXPECT_NE(player_.LastError().find("stopped working"), std::string::npos);
  EXPECT_EQ(listener_.calls.back().what, "Stopped");
  // The cursor stays where the sound stopped, not at the end of what was queued.
  int32_t last = 0;
  for (const auto& call : listener_.calls) {
    if (call.what == "Position") last = call.frame;
  }
  EXPECT_LE(last, 10000);
}

// A source whose reads block until released.
class LBlockingStream final : public LSoundStream {
 public:
  LBlockingStream() : LSoundStream(8000, 524272, 1) {}
  void Read(int32_t* frames, int32_t frameCount) override {
    std::fill(frames, frames + frameCount, 0);
    position_ += frameCount;
    if (position_ < 8000) return;
    std::unique_lock lock(mutex_);
    blocked_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
  }
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return 1000000; }
  void Seek(int32_t frame) override { position_ = frame; }
  void WaitBlocked() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return blocked_; });
  }
  void Unblock() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  int32_t position_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool blocked_ = false;
  bool released_ = false;
};

TEST_F(WavePlayerTest, AFeederThatDoesNotStopKeepsWhatItUsesUntilItEnds) {
  auto blocking = MakeRef<LBlockingStream>();
  ASSERT_TRUE(player_.Open(blocking));
  blocking->WaitBlocked();
  const auto before = std::chrono::steady_clock::now();
  player_.Close();  // waits the 200 ms stop time-out, then leaves the thread
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  EXPECT_FALSE(player_.IsOpen());
  EXPECT_EQ(listener_.calls.back().what, "Stopped");
  // While it still runs, a new playback cannot start: a clear error after at most a second.
  EXPECT_FALSE(player_.Open(Tone(8000, 1, 100)));
  EXPECT_EQ(player_.LastError(), "the previous playback has not ended yet");
  // The stream is still in use by the stuck thread: it holds a reference.
  EXPECT_GT(blocking->RefCount(), 1u);
  blocking->Unblock();
  PlayToEnd(Tone(8000, 1, 100));  // the old thread ends and the new playback runs
  EXPECT_EQ(blocking->RefCount(), 1u);
}

class RealTimePlayerTest : public WavePlayerTest {
 protected:
  RealTimePlayerTest() : WavePlayerTest(LPacing::kRealTime) {}
};

TEST_F(RealTimePlayerTest, PositionsFollowThePlayedFramesWithinOneBuffer) {
  const int32_t rate = 44100;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(player_.Open(Tone(rate, 2, rate)));  // one second
  std::vector<std::pair<int32_t, double>> reports;  // frame, seconds since start
  listener_.calls.clear();
  while (player_.IsOpen()) {
    loop_.RunPending(50ms);
    for (const auto& call : listener_.calls) {
      if (call.what == "Position") {
        reports.emplace_back(call.frame,
                             std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      }
    }
    listener_.calls.clear();
    ASSERT_LT(std::chrono::steady_clock::now() - start, 5s);
  }
  ASSERT_GE(reports.size(), 8u);
  for (const auto& [frame, seconds] : reports) {
    const double trueFrame = seconds * rate;
    EXPECT_LE(frame, trueFrame + 200) << seconds;          // never ahead of what was played
    EXPECT_GE(frame, trueFrame - 4410 - 0.03 * rate) << seconds;  // at most a buffer behind
  }
  EXPECT_EQ(player_.Underruns(), 0);
}

TEST_F(RealTimePlayerTest, ReportedLevelsAreThoseOfThePlayedBuffers) {
  // Buffer k holds a constant (k + 1) x 1000 on the left and silence on the right.
  const int32_t length = 4410 * 5;
  PlayToEnd(MakeRef<LFunctionStream>(44100, 2, length, [](int64_t frame, int channel) {
    return channel == 0 ? static_cast<int32_t>(frame / 4410 + 1) * 16000 : 0;
  }));
  // Each levels report follows the position report of the buffer it measured.
  int checked = 0;
  std::vector<int32_t> buffer(4410 * 2);
  for (size_t i = 1; i < listener_.calls.size(); ++i) {
    const auto& call = listener_.calls[i];
    if (call.what != "Levels") continue;
    ASSERT_EQ(listener_.calls[i - 1].what, "Position");
    const int32_t k = listener_.calls[i - 1].frame / 4410 - 1;
    EXPECT_EQ(call.levels.channels, 2);
    EXPECT_EQ(call.levels.levels[1], -127);
    for (size_t f = 0; f < 4410; ++f) buffer[2 * f] = (k + 1) * 16000;
    EXPECT_EQ(call.levels.levels[0], ChannelLevel(buffer.data(), 4410, 2, 0)) << k;
    ++checked;
  }
  EXPECT_GE(checked, 3);
}

TEST_F(RealTimePlayerTest, ScrubLoopsASnippetAndResumesNormalPlay) {
  ASSERT_TRUE(player_.Open(Tone(8000, 1, 80000)));
  loop_.RunUntil([this] { return player_.PlayedPosition() >= 1600; }, 3s);
  listener_.calls.clear();
  player_.StartScrub();
  EXPECT_TRUE(player_.Scrubbing());
  const int32_t at = player_.PlayedPosition();
  EXPECT_EQ(listener_.Kinds(), (std::vector<std::string>{"Levels", "Cue", "Position"}));
  EXPECT_EQ(listener_.calls.back().frame, at);
  loop_.RunUntil([] { return false; }, 300ms);
  EXPECT_EQ(player_.PlayedPosition(), at);  // the snippet loops: no reports while scrubbing
  player_.Seek(4000);
  EXPECT_EQ(listener_.calls.back().frame, 4000);
  listener_.calls.clear();
  player_.ResumeNormal();
  EXPECT_FALSE(player_.Scrubbing());
  EXPECT_EQ(listener_.Kinds(), (std::vector<std::string>{"Started"}));
  loop_.RunUntil([this] { return player_.PlayedPosition() > 4000; }, 3s);
  EXPECT_GT(player_.PlayedPosition(), 4000);
  player_.Close();
  // The capture holds the snippet (200 frames at the scrub position) repeated.
  const std::vector<int16_t> got = test::CaptureSamples(capture_);
  const std::vector<int16_t> snippet = [&] {
    LRef<LSoundStream> tone = Tone(8000, 1, 80000);
    tone->Seek(at);
    return test::Expected16(tone, 200);
  }();
  size_t found = 0;
  for (size_t i = 0; i + 800 <= got.size(); ++i) {
    if (std::equal(snippet.begin(), snippet.end(), got.begin() + static_cast<std::ptrdiff_t>(i)) &&
        std::equal(snippet.begin(), snippet.end(), got.begin() + static_cast<std::ptrdiff_t>(i + 200))) {
      found = i;
      break;
    }
  }
  EXPECT_GT(found, 0u);
}

TEST_F(RealTimePlayerTest, StartAndStopAreQuick) {
  const auto open = std::chrono::steady_clock::now();
  ASSERT_TRUE(player_.Open(Tone(44100, 2, 44100 * 10)));
  EXPECT_LT(std::chrono::steady_clock::now() - open, 200ms);
  loop_.RunUntil([] { return false; }, 300ms);
  const auto stop = std::chrono::steady_clock::now();
  player_.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - stop, 200ms);
}

}  // namespace
}  // namespace klangor
