// klangor-batch with the sample-rate and channel commands (17, 18) on WAV files made by sox,
// the speed and pitch commands (13 to 15) with values out of range, and saving into formats
// of a fixed rate.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/test_env.h"

namespace klangor {
namespace {

int RunBatch(std::vector<std::string> args, std::string* output) {
  const char* build = std::getenv("KLANGOR_BUILD_DIR");
  args.insert(args.begin(), std::string(build != nullptr ? build : ".") + "/apps/klangor-batch/klangor-batch");
  std::vector<std::string> shell = {"sh", "-c", "exec \"$0\" \"$@\" 2>&1"};
  shell.insert(shell.end(), args.begin(), args.end());
  return test::Run(shell, output);
}

struct LFileInfo {
  int rate = 0;
  int channels = 0;
  long frames = 0;
};

LFileInfo Probe(const std::string& path) {
  LFileInfo info;
  std::string text;
  EXPECT_EQ(RunBatch({"--probe", path}, &text), 0) << text;
  const size_t colon = text.rfind(": ");
  EXPECT_EQ(std::sscanf(text.c_str() + colon + 2, "%d Hz, %d channels, %ld frames", &info.rate, &info.channels,
                        &info.frames), 3) << text;
  return info;
}

std::vector<int16_t> Samples16(const std::string& path, const std::vector<std::string>& effects = {}) {
  std::string raw;
  std::vector<std::string> argv = {"sox", "-V1", path, "-t", "s16", "-"};
  argv.insert(argv.end(), effects.begin(), effects.end());
  EXPECT_EQ(test::Run(argv, &raw), 0);
  std::vector<int16_t> samples(raw.size() / 2);
  std::memcpy(samples.data(), raw.data(), samples.size() * 2);
  return samples;
}

class RateBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    folder_ = test::TempPath("-rate-batch");
    ASSERT_TRUE(EnsureFolder(folder_ + "/out"));
    setenv("XDG_DATA_HOME", (folder_ + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
    setenv("KLANGOR_MACHINE_SETTINGS", (folder_ + "/machine/Klangor.ini").c_str(), 1);
    input_ = folder_ + "/take.wav";
    ASSERT_EQ(test::Run({"sox", "-V1", "-R", "-n", "-b", "16", "-c", "2", "-r", "44100", input_, "synth", "0.5", "sine",
                         "440", "sine", "1000", "vol", "0.3"}), 0);
  }

  // Runs the commands on the input; the output's format.
  LFileInfo Convert(const std::vector<std::string>& commands, const std::string& format = "wav") {
    std::vector<std::string> args = {"-q", "--format", format, "--output-folder", folder_ + "/out"};
    for (const std::string& command : commands) {
      args.push_back("--command");
      args.push_back(command);
    }
    args.push_back(input_);
    std::string output;
    EXPECT_EQ(RunBatch(args, &output), 0) << output;
    EXPECT_EQ(output, "");
    return Probe(Output(format));
  }
  std::string Output(const std::string& format = "wav") const { return folder_ + "/out/take." + format; }

  std::string folder_;
  std::string input_;
};

TEST_F(RateBatchTest, SampleRateAndChannels) {
  LFileInfo info = Convert({"17=48000"});
  EXPECT_EQ(info.rate, 48000);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.frames, (22050L * 37 + 33) / 34);

  info = Convert({"18=1"});
  EXPECT_EQ(info.rate, 44100);
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(Samples16(Output()), Samples16(input_, {"remix", "1"}));  // the left channel exactly

  info = Convert({"18=1", "17=8000", "18=2"});
  EXPECT_EQ(info.rate, 8000);
  EXPECT_EQ(info.channels, 2);
  EXPECT_NEAR(info.frames, 4000, 2);
}

// Values the dialogs would refuse, from a script or the command line.
TEST_F(RateBatchTest, OutOfRangeValuesAreBroughtIntoRange) {
  EXPECT_EQ(Convert({"17=0"}).rate, 6000);
  EXPECT_EQ(Convert({"17=-1"}).rate, 96000);  // 4294967295 as stored
  EXPECT_EQ(Convert({"17=200000"}).rate, 96000);
  EXPECT_EQ(Convert({"18=0"}).channels, 1);
  EXPECT_EQ(Convert({"18=7"}).channels, 2);
  EXPECT_NEAR(Convert({"13=0"}).frames, 220500, 2);   // as 10 %: 10 times as long
  EXPECT_NEAR(Convert({"14=-40"}).frames, 220500, 256);
  EXPECT_NEAR(Convert({"14=1000"}).frames, 2205, 10);
  EXPECT_NEAR(Convert({"15=1000"}).frames, 22050, 256);  // pitch only keeps the length
}

// Formats with a rate and channel count of their own are written through the adapter.
TEST_F(RateBatchTest, SavingConvertsToTheFormatOfTheFile) {
  const LFileInfo gsm = Convert({}, "gsm");
  EXPECT_EQ(gsm.rate, 8000);
  EXPECT_EQ(gsm.channels, 1);
  EXPECT_NEAR(gsm.frames, 4000, 160);  // 0.5 s, in whole 160-sample frames
}

}  // namespace
}  // namespace klangor
