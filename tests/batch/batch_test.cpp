// klangor-batch's command line, and the program run as a user would on files made by sox:
// conversion of every sample width, bad input with its messages, cancelling without data loss,
// commands from the command line and from scripts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>

#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "batch/batch_script.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

std::optional<LBatchOptions> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string ignored;
  return ParseBatchOptions(args, error != nullptr ? error : &ignored);
}

TEST(BatchOptionsTest, ParsesTheCommandLine) {
  auto options = Parse({"--command", "7=800,50", "--command", "16", "--format", ".WAV",
                        "--output-folder", "/x", "-q", "a.wav", "--", "--odd.wav"});
  ASSERT_TRUE(options);
  ASSERT_EQ(options->commands.size(), 2u);
  EXPECT_EQ(options->commands[0].number, 7);
  EXPECT_EQ(options->commands[0].values, (std::vector<int32_t>{800, 50}));
  EXPECT_TRUE(options->commands[1].values.empty());
  EXPECT_EQ(options->format, "wav");
  EXPECT_EQ(options->outputFolder, "/x");
  EXPECT_TRUE(options->quiet);
  EXPECT_EQ(options->files, (std::vector<std::string>{"a.wav", "--odd.wav"}));
}

TEST(BatchOptionsTest, RejectsMistakesWithAMessage) {
  std::string error;
  EXPECT_FALSE(Parse({"--command", "7=8x", "a.wav"}, &error));
  EXPECT_NE(error.find("7=8x"), std::string::npos);
  EXPECT_FALSE(Parse({"--command", "7=99999999999", "a.wav"}, &error));
  EXPECT_FALSE(Parse({"--output-folder"}, &error));
  EXPECT_FALSE(Parse({"--frobnicate", "a.wav"}, &error));
  EXPECT_EQ(error, "unknown option --frobnicate");
  EXPECT_FALSE(Parse({"-q"}, &error));
  EXPECT_EQ(error, "no input files");
  EXPECT_TRUE(Parse({"--help"}));
}

TEST(BatchOptionsTest, OutputPathFollowsFolderAndFormat) {
  LBatchOptions options;
  EXPECT_EQ(BatchOutputPath("/music/take.WAV", options), "/music/take.WAV");
  options.outputFolder = "/out";
  options.format = "wav";
  EXPECT_EQ(BatchOutputPath("/music/take.aiff", options), "/out/take.wav");
  EXPECT_EQ(BatchOutputPath("noext", options), "/out/noext.wav");
}

using test::LBatchRun;
using test::RunKlangorBatch;
using test::RunTool;
using test::SoxSamples32;

class BatchProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    folder_ = test::TempPath("-batch");
    ASSERT_TRUE(EnsureFolder(folder_ + "/out"));
    // The child's data folder (and so its working folder) lies inside the test's folder.
    test::UsePrivateHome(folder_);
    settings_ = std::make_unique<LSettingsStore>(LSettingsStore::FromEnvironment());
  }
  std::string folder_;
  std::unique_ptr<LSettingsStore> settings_;
};

// Every width sox writes is read and saved with the exact result of the conversion table (this
// is also the check of WAV reading against sox). 8- and 16-bit noise
// may reach full scale (-32768 included) and still comes back exactly; the wider formats stay
// below 16-bit full scale here, because above it the output limiter lowers whole blocks (see
// FullScaleWideSamplesDoNotWrap).
TEST_F(BatchProgramTest, EverySampleWidthRoundTripsThroughTheConversionTable) {
  for (int bits : {8, 16, 24, 32}) {
    for (int channels : {1, 2, 3}) {
      SCOPED_TRACE("bits " + std::to_string(bits) + ", channels " + std::to_string(channels));
      std::string input = folder_ + "/in" + std::to_string(bits) + "_" + std::to_string(channels) + ".wav";
      const std::string volume = bits <= 16 ? "1.5" : "0.5";
      RunTool({"sox", "-V1", "-R", "-n", "-b", std::to_string(bits), "-c", std::to_string(channels), "-r", "22050",
               input, "synth", "0.5", "whitenoise", "vol", volume});
      LBatchRun run = RunKlangorBatch({"-q", "--output-folder", folder_ + "/out", input});
      ASSERT_EQ(run.status, 0) << run.output;
      std::string output = folder_ + "/out/" + FileNameOf(input);
      std::string bytes = test::ReadBytes(output);
      std::vector<int32_t> source = SoxSamples32(input);
      ASSERT_EQ(bytes.size(), 46 + source.size() * 2);
      EXPECT_EQ(bytes.substr(34, 2), test::Le16(16));
      EXPECT_EQ(bytes.substr(22, 2), test::Le16(static_cast<uint32_t>(channels)));
      EXPECT_EQ(bytes.substr(24, 4), test::Le32(22050));
      std::vector<int16_t> expected;
      for (const int64_t s : source) {
        int64_t internal;
        switch (bits) {
          case 8: internal = (s >> 24) * 4096; break;
          case 16: internal = (s >> 16) * 16; break;
          case 24: internal = (s >> 8) >> 4; break;
          default: internal = (s + 2048) >> 12; break;
        }
        expected.push_back(static_cast<int16_t>((internal + 8) >> 4));
      }
      EXPECT_TRUE(test::SoxSamples16(output) == expected);  // sox reads what the table gives
    }
  }
  // No block files are left behind in the working folder.
  for (const std::string& name : ListFolder(folder_ + "/data/Tessaly Audio/Klangor")) {
    EXPECT_EQ(name.rfind("klangor-blocks-", 0), std::string::npos) << name;
  }
}

// 24- and 32-bit samples above 16-bit full scale are limited, never wrapped into the other sign.
TEST_F(BatchProgramTest, FullScaleWideSamplesDoNotWrap) {
  for (int bits : {24, 32}) {
    SCOPED_TRACE("bits " + std::to_string(bits));
    std::string input = folder_ + "/loud" + std::to_string(bits) + ".wav";
    RunTool({"sox", "-V1", "-n", "-b", std::to_string(bits), "-r", "22050", input, "synth", "0.5", "square", "100",
             "vol", "1.0"});
    ASSERT_EQ(RunKlangorBatch({"-q", "--output-folder", folder_ + "/out", input}).status, 0);
    const std::vector<int32_t> source = SoxSamples32(input);
    const std::vector<int32_t> output = SoxSamples32(folder_ + "/out/" + FileNameOf(input));
    ASSERT_EQ(output.size(), source.size());
    for (size_t i = 0; i < source.size(); ++i) {
      ASSERT_TRUE((source[i] > 0 && output[i] > 0) || (source[i] < 0 && output[i] < 0) || source[i] == 0)
          << "sample " << i << ": " << source[i] << " became " << output[i];
      ASSERT_GT(std::abs(static_cast<double>(output[i])), 0.99 * std::abs(static_cast<double>(source[i])));
    }
  }
}

TEST_F(BatchProgramTest, BadInputFailsClearlyAndWritesNothing) {
  std::string good = folder_ + "/good.wav";
  RunTool({"sox", "-n", "-b", "16", "-r", "8000", good, "synth", "1", "sine", "300"});
  std::string whole = test::ReadBytes(good);
  std::string truncated = folder_ + "/truncated.wav";
  test::WriteBytes(truncated, whole.substr(0, 30));
  std::string empty = folder_ + "/empty.wav";
  test::WriteBytes(empty, "");
  // An existing output stays as it was when its input cannot be read.
  test::WriteBytes(folder_ + "/out/truncated.wav", "precious");

  for (const std::string& input : {truncated, empty}) {
    LBatchRun run = RunKlangorBatch({"-q", "--output-folder", folder_ + "/out", input});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("Cannot open the file \"" + input + "\" because it is corrupt."),
              std::string::npos) << run.output;
  }
  EXPECT_EQ(test::ReadBytes(folder_ + "/out/truncated.wav"), "precious");
  EXPECT_FALSE(FileExists(folder_ + "/out/empty.wav"));

  LBatchRun missing = RunKlangorBatch({"-q", folder_ + "/gone.wav"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("Check it exists and you have read access."), std::string::npos);

  // The run stops at the first file that fails: the files before it are done, the ones
  // after it are not touched.
  std::string second = folder_ + "/second.wav";
  RunTool({"sox", good, second});
  LBatchRun mixed = RunKlangorBatch({"-q", "--output-folder", folder_ + "/out", good, empty, second});
  EXPECT_EQ(mixed.status, 2);
  EXPECT_EQ(test::ReadBytes(folder_ + "/out/good.wav").size(), 46u + 8000 * 2);
  EXPECT_FALSE(FileExists(folder_ + "/out/second.wav"));

  LBatchRun probe = RunKlangorBatch({"--probe", good, truncated});
  EXPECT_EQ(probe.status, 2);
  EXPECT_EQ(probe.output, good + ": 8000 Hz, 1 channels, 8000 frames, state 0\n" + truncated +
                              ": 11025 Hz, 1 channels, 0 frames, state 3\n");
}

TEST_F(BatchProgramTest, CancelledRunKeepsTheOldFile) {
  std::string input = folder_ + "/long.wav";
  RunTool({"sox", "-n", "-b", "16", "-c", "2", "-r", "44100", input, "synth", "5", "sine", "440"});
  std::string original = test::ReadBytes(input);
  LBatchOptions options;
  options.files = {input};  // saving in place, over the input itself
  test::LCancelAfter cancel(10);
  std::ostringstream out, err;
  EXPECT_EQ(RunBatch(options, *settings_, cancel, out, err), 1);
  EXPECT_EQ(test::ReadBytes(input), original);
  for (const std::string& name : ListFolder(folder_)) {
    EXPECT_TRUE(name == "long.wav" || name == "out") << "left behind: " << name;
  }
  const std::vector<int32_t> samples = SoxSamples32(input);
  LSilentProgress progress;
  EXPECT_EQ(RunBatch(options, *settings_, progress, out, err), 0);
  EXPECT_EQ(SoxSamples32(input), samples);  // 16-bit audio saves back unchanged
}

TEST_F(BatchProgramTest, CommandsFromTheCommandLineAndFromScripts) {
  std::string input = folder_ + "/tone.wav";
  RunTool({"sox", "-n", "-b", "16", "-r", "8000", input, "synth", "1", "sine", "300"});
  // 250 ms of silence before and 500 ms after, with the noise gate between them.
  LBatchRun run = RunKlangorBatch({"-q", "--output-folder", folder_ + "/out", "--command", "1=250",
                                   "--command", "12=-30", "--command", "2=500", input});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "");
  const std::vector<int32_t> samples = SoxSamples32(folder_ + "/out/tone.wav");
  ASSERT_EQ(samples.size(), 8000u + 2000 + 4000);
  EXPECT_EQ(samples[1999], 0);
  EXPECT_NE(samples[2001], 0);
  EXPECT_EQ(samples.back(), 0);

  // The same list as a script file; without values, command 1 takes the stored value.
  const std::string script = folder_ + "/list.klb";
  ASSERT_TRUE(SaveBatchScript(script, {{1, {}}, *MakeBatchCommand(2, {500})}));
  run = RunKlangorBatch({"-q", "--output-folder", folder_ + "/out", "--script", script, input});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(SoxSamples32(folder_ + "/out/tone.wav").size(), 8000u + 4000);

  test::WriteBytes(script, std::string(1, '\1'));
  run = RunKlangorBatch({"-q", "--script", script, input});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find(kScriptVersionMessage), std::string::npos);

  EXPECT_EQ(RunKlangorBatch({"--command", "7=800", input}).status, 2);
  EXPECT_EQ(RunKlangorBatch({"--command", "44", input}).status, 2);
  LBatchRun list = RunKlangorBatch({"--list-commands"});
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.output.find("16  Dynamic Range Compressor\n"), std::string::npos) << list.output;
  EXPECT_EQ(std::count(list.output.begin(), list.output.end(), '\n'), 21);
  EXPECT_EQ(list.output.find("available"), std::string::npos) << list.output;
}

}  // namespace
}  // namespace klangor
