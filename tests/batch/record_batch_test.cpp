// klangor-batch --record: its options, takes from the virtual input checked against sox
// (exact, with a time limit, with sound-activated start and trim), files left by Ctrl+C and
// kill -9, and bad input.

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

TEST(RecordOptionsTest, ParsesRecordAndRefusesOptionsWithoutIt) {
  std::string error;
  auto options = ParseBatchOptions({"--record", "o.wav", "--device", "2", "--seconds", "1.5", "--input-file", "i.wav",
                                    "--realtime", "--rate", "8000", "--channels", "1"},
                                   &error);
  ASSERT_TRUE(options) << error;
  ASSERT_TRUE(options->record);
  EXPECT_EQ(options->record->file, "o.wav");
  EXPECT_EQ(options->record->device, 2);
  EXPECT_EQ(options->record->seconds, 1.5);
  EXPECT_EQ(options->record->inputFile, "i.wav");
  EXPECT_TRUE(options->record->realtime);
  EXPECT_EQ(options->record->sampleRate, 8000);
  EXPECT_EQ(options->record->channels, 1);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--input-file", "i.wav", "x.wav"}, {"--record", "o.wav", "--realtime"},
        {"--record", "o.wav", "--capture", "c.wav"}, {"--record", "o.wav", "--rate", "0"},
        {"--record", "o.wav", "extra.wav"}}) {
    EXPECT_FALSE(ParseBatchOptions(bad, &error)) << bad[0] << " " << bad[1];
  }
}

class RecordBatchTest : public ::testing::Test {
 protected:
  RecordBatchTest() : home_(test::TempPath("-home")), input_(test::TempPath(".wav")), take_(test::TempPath(".wav")) {
    test::UsePrivateHome(home_);
  }
  void Settings(const std::string& recorder) {
    test::RunTool({"mkdir", "-p", home_ + "/config/Tessaly Audio"});
    test::WriteBytes(home_ + "/config/Tessaly Audio/Klangor.ini", "[Recorder]\n" + recorder);
  }
  static std::string Program() {
    const char* build = std::getenv("KLANGOR_BUILD_DIR");
    return std::string(build != nullptr ? build : ".") + "/apps/klangor-batch/klangor-batch";
  }
  // Starts a real-time recording, sends `signal` after `delay`, returns the exit status.
  int Interrupt(int signal, std::chrono::milliseconds delay) {
    const pid_t child = ::fork();
    if (child == 0) {
      const std::string program = Program();
      ::execl(program.c_str(), program.c_str(), "-q", "--record", take_.c_str(), "--input-file", input_.c_str(),
              "--realtime", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // The delay counts from when the program catches Ctrl+C (a loaded machine may start it slowly).
    EXPECT_TRUE(test::CatchesSignalSoon(child, SIGINT)) << "klangor-batch never caught SIGINT";
    std::this_thread::sleep_for(delay);
    ::kill(child, signal);
    int status = 0;
    EXPECT_EQ(test::WaitOrKill(child, &status), child) << "klangor-batch did not stop";
    return status;
  }

  std::string home_, input_, take_;
};

TEST_F(RecordBatchTest, RecordsTheInputFileSampleForSample) {
  Settings("Autotrim=0\n");
  test::RunTool({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", input_, "synth", "3.3", "pinknoise", "gain", "-3"});
  test::LBatchRun run = test::RunKlangorBatch({"-q", "--record", take_, "--input-file", input_});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::SoxSamples16(take_), test::SoxSamples16(input_));
  EXPECT_EQ(test::RunTool({"soxi", "-s", take_}), "145530\n");

  run = test::RunKlangorBatch({"-q", "--record", take_, "--input-file", input_, "--seconds", "1.5"});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::SoxSamples16(take_), test::SoxSamples16(input_, {}, {"trim", "0s", "66150s"}));
  // ffmpeg reads the take too.
  std::string probe;
  ASSERT_EQ(test::Run({"ffprobe", "-v", "error", "-show_entries", "stream=sample_rate,channels", "-of", "csv=p=0",
                       take_},
                      &probe),
            0);
  EXPECT_EQ(probe, "44100,2\n");
}

TEST_F(RecordBatchTest, SoundActivatedStartAndTrimCutTheSilenceAroundTheSound) {
  Settings("Autotrim=1\nThreshold=-24\n");
  // 1 s silence, 1 s sound, 2 s silence, mono.
  test::RunTool({"sox", "-n", "-r", "44100", "-c", "1", "-b", "16", input_, "synth", "1", "sine", "440", "gain",
                 "-6", "pad", "1", "2"});
  test::LBatchRun run = test::RunKlangorBatch({"-q", "--record", take_, "--input-file", input_});
  ASSERT_EQ(run.status, 0) << run.output;
  // Half a buffer (50 ms) before the sound to 50 ms after the buffer that ended it.
  EXPECT_EQ(test::SoxSamples16(take_), test::SoxSamples16(input_, {}, {"trim", "41895s", "48510s"}));

  Settings("Autotrim=1\nThreshold=127\n");
  run = test::RunKlangorBatch({"-q", "--record", take_, "--input-file", input_});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.output.find("nothing was recorded"), std::string::npos) << run.output;
  EXPECT_EQ(test::RunTool({"soxi", "-s", take_}), "0\n");
}

TEST_F(RecordBatchTest, CtrlCAndKillLeaveValidFiles) {
  Settings("Autotrim=0\n");
  test::RunTool({"sox", "-n", "-r", "8000", "-c", "1", "-b", "16", input_, "synth", "30", "sine", "300", "gain", "-6"});
  const int status = Interrupt(SIGINT, std::chrono::milliseconds(1500));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::vector<int16_t> stopped = test::SoxSamples16(take_);
  EXPECT_GT(stopped.size(), 8000u);
  EXPECT_EQ(stopped, test::SoxSamples16(input_, {}, {"trim", "0s", std::to_string(stopped.size()) + "s"}));

  Interrupt(SIGKILL, std::chrono::milliseconds(1500));
  const std::vector<int16_t> killed = test::SoxSamples16(take_);
  EXPECT_GT(killed.size(), 8000u);  // everything up to the last buffer
  EXPECT_EQ(killed, test::SoxSamples16(input_, {}, {"trim", "0s", std::to_string(killed.size()) + "s"}));
}

TEST_F(RecordBatchTest, BadInputGetsAMessageAndKeepsFiles) {
  test::LBatchRun run = test::RunKlangorBatch({"-q", "--record", take_, "--input-file", input_ + ".missing"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("cannot be opened"), std::string::npos) << run.output;

  test::RunTool({"sox", "-n", "-r", "8000", "-c", "1", "-b", "16", input_, "synth", "0.5", "sine", "300"});
  run = test::RunKlangorBatch({"-q", "--record", test::TempDir() + "/no/such/folder/t.wav", "--input-file", input_});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("cannot be created"), std::string::npos) << run.output;

  // No such device: the file that was there stays.
  test::WriteBytes(take_, "precious");
  run = test::RunKlangorBatch({"-q", "--record", take_, "--device", "999"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("Aufnahmegerät"), std::string::npos) << run.output;
  EXPECT_EQ(test::ReadBytes(take_), "precious");
}

}  // namespace
}  // namespace klangor
