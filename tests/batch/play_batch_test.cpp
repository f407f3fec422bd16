// klangor-batch --play: its options, and what it plays into the capture file for files made
// by sox (whole file, a range, repeat for a number of seconds, the speeds), bad input, and
// Ctrl+C.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "batch/batch_options.h"
#include "support/test_env.h"

namespace klangor {
namespace {

std::optional<LBatchOptions> Parse(std::vector<std::string> args, std::string* error) {
  return ParseBatchOptions(args, error);
}

TEST(PlayOptionsTest, ParsesPlayAndItsOptions) {
  std::string error;
  auto options = Parse({"--device", "2", "--play", "a.wav", "--speed", "slow", "--repeat", "--capture", "o.wav",
                        "--from", "100", "--to", "900", "--seconds", "2.5"},
                       &error);
  ASSERT_TRUE(options) << error;
  ASSERT_TRUE(options->play);
  EXPECT_EQ(options->play->file, "a.wav");
  EXPECT_EQ(options->play->device, 2);
  EXPECT_EQ(options->play->speed, 0);
  EXPECT_TRUE(options->play->repeat);
  EXPECT_EQ(options->play->capturePath, "o.wav");
  EXPECT_EQ(options->play->fromMs, 100);
  EXPECT_EQ(options->play->toMs, 900);
  EXPECT_DOUBLE_EQ(options->play->seconds, 2.5);
  EXPECT_TRUE(Parse({"--list-devices"}, &error)->listDevices);

  for (auto [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--repeat", "a.wav"}, "option --repeat needs --play"},
           {{"--play", "a.wav", "--speed", "fastest"}, "bad speed \"fastest\" (slow, normal or fast)"},
           {{"--play", "a.wav", "b.wav"}, "--play takes one file"},
           {{"--play", "a.wav", "--from", "-5"}, "bad value \"-5\" for --from"},
           {{"--play", "a.wav", "--seconds", "0"}, "bad value \"0\" for --seconds"},
           {{"--play"}, "option --play needs a value"}}) {
    EXPECT_FALSE(Parse(args, &error));
    EXPECT_EQ(error, message);
  }
}

class PlayBatchTest : public ::testing::Test {
 protected:
  PlayBatchTest() : input_(test::TempPath(".wav")), capture_(test::TempPath(".wav")) {
    test::UsePrivateHome(test::TempPath("-home"));
    test::RunTool({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", input_, "synth", "2", "pinknoise", "sine", "440",
                   "gain", "-6"});
    samples_ = test::SoxSamples16(input_);
  }
  std::vector<int16_t> Frames(size_t from, size_t to) const {
    return std::vector<int16_t>(samples_.begin() + static_cast<std::ptrdiff_t>(2 * from),
                                samples_.begin() + static_cast<std::ptrdiff_t>(2 * to));
  }

  std::string input_;
  std::string capture_;
  std::vector<int16_t> samples_;
};

TEST_F(PlayBatchTest, CapturesTheFileOrItsRangeExactly) {
  test::LBatchRun run = test::RunKlangorBatch({"-q", "--play", input_, "--capture", capture_});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::SoxSamples16(capture_), samples_);

  run = test::RunKlangorBatch({"-q", "--play", input_, "--capture", capture_, "--from", "250", "--to", "1300"});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::SoxSamples16(capture_), Frames(11025, 57330));
}

TEST_F(PlayBatchTest, RepeatCapturesTheLoopForTheGivenSeconds) {
  test::LBatchRun run = test::RunKlangorBatch(
      {"-q", "--play", input_, "--repeat", "--capture", capture_, "--seconds", "2.5", "--from", "200", "--to", "700"});
  ASSERT_EQ(run.status, 0) << run.output;
  const std::vector<int16_t> got = test::SoxSamples16(capture_);
  ASSERT_EQ(got.size(), 2u * 110250);
  const std::vector<int16_t> loop = Frames(8820, 30870);
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i], loop[i % loop.size()]) << i;
  }
  run = test::RunKlangorBatch({"-q", "--play", input_, "--repeat", "--capture", capture_});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.output, "klangor-batch: --repeat with --capture needs --seconds\n");
}

TEST_F(PlayBatchTest, SlowAndFastChangeTheDurationNotTheRate) {
  for (auto [speed, frames] : {std::pair{"slow", 176400}, {"fast", 58800}}) {
    test::LBatchRun run = test::RunKlangorBatch({"-q", "--play", input_, "--speed", speed, "--capture", capture_});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(test::RunTool({"soxi", "-r", capture_}), "44100\n");
    EXPECT_NEAR(static_cast<double>(test::SoxSamples16(capture_).size() / 2), frames, 2) << speed;
  }
}

TEST_F(PlayBatchTest, BadInputGetsAClearMessage) {
  test::LBatchRun run = test::RunKlangorBatch({"-q", "--play", input_ + ".missing", "--capture", capture_});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("Cannot open the file"), std::string::npos) << run.output;
  run = test::RunKlangorBatch({"-q", "--play", input_, "--capture", capture_, "--from", "5000"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.output, "klangor-batch: the range from 5000 ms to the end holds no sound (the sound is 2000 ms long)\n");
  run = test::RunKlangorBatch({"-q", "--play", input_, "--capture", "/nonexistent/folder/o.wav"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("cannot create the capture file"), std::string::npos) << run.output;
  // A file of one frame plays.
  const std::string tiny = test::TempPath(".wav");
  const std::string raw = test::TempPath(".raw");
  test::WriteBytes(raw, std::string("\x10\x20", 2));
  test::RunTool({"sox", "-t", "s16", "-r", "8000", "-c", "1", raw, tiny});
  run = test::RunKlangorBatch({"-q", "--play", tiny, "--capture", capture_});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::SoxSamples16(capture_), std::vector<int16_t>{0x2010});
}

TEST_F(PlayBatchTest, CtrlCStopsPlayback) {
  const char* build = std::getenv("KLANGOR_BUILD_DIR");
  const std::string program = std::string(build != nullptr ? build : ".") + "/apps/klangor-batch/klangor-batch";
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("KLANGOR_SOUND_OUT", "virtual", 1);  // real time, no sound card needed
    ::execl(program.c_str(), program.c_str(), "-q", "--play", input_.c_str(), "--repeat", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(child, 0);
  // Ctrl+C only once the program catches it (a loaded machine may start it slowly).
  EXPECT_TRUE(test::CatchesSignalSoon(child, SIGINT)) << "klangor-batch never caught SIGINT";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ::kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(test::WaitOrKill(child, &status), child) << "klangor-batch did not stop";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
}  // namespace klangor
