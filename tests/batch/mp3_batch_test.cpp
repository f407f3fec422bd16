// klangor-batch converts MP3 files: the WAV it writes holds what a reference decoder hears,
// and files that are not MP3 streams get the layer-3 message.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using LRun = test::LBatchRun;
constexpr auto RunBatchProgram = test::RunKlangorBatch;

class Mp3BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("sox") || !test::HaveProgram("lame") || !test::HaveProgram("mpg123")) {
      GTEST_SKIP() << "sox, lame and mpg123 are needed";
    }
    folder_ = test::TempPath("-mp3batch");
    ASSERT_TRUE(EnsureFolder(folder_ + "/out"));
    setenv("XDG_DATA_HOME", (folder_ + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
  }
  std::string folder_;
};

std::vector<int16_t> Samples16(const std::string& bytes, size_t offset) {
  std::vector<int16_t> samples((bytes.size() - offset) / 2);
  std::memcpy(samples.data(), bytes.data() + offset, samples.size() * 2);
  return samples;
}

TEST_F(Mp3BatchTest, ConvertsASongToWav) {
  const std::string wav = folder_ + "/source.wav";
  const std::string song = folder_ + "/song.mp3";
  ASSERT_EQ(test::Run({"sox", "-V1", "-n", "-b", "16", "-c", "2", "-r", "44100", wav, "synth", "3", "pluck", "A3",
                       "synth", "3", "sine", "mix", "300-1200", "vol", "0.7"}),
            0);
  ASSERT_EQ(test::Run({"lame", "--quiet", "-V", "2", wav, song}), 0);

  LRun run = RunBatchProgram({"-q", "--format", "wav", "--output-folder", folder_ + "/out", song});
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string written = test::ReadBytes(folder_ + "/out/song.wav");
  ASSERT_GT(written.size(), 46u);
  EXPECT_EQ(written.substr(22, 2), test::Le16(2));
  EXPECT_EQ(written.substr(24, 4), test::Le32(44100));
  EXPECT_EQ(written.substr(34, 2), test::Le16(16));

  // The reference: mpg123's 16-bit decoding of every frame.
  std::string raw;
  ASSERT_EQ(test::Run({"mpg123", "-q", "--no-gapless", "-e", "s16", "-s", song}, &raw), 0);
  const std::vector<int16_t> reference = Samples16(raw, 0);
  const std::vector<int16_t> got = Samples16(written, 46);
  ASSERT_EQ(got.size(), reference.size());
  int worst = 0;
  for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - reference[i]));
  EXPECT_LE(worst, 1);  // rounding of the last bit only

  LRun probe = RunBatchProgram({"--probe", song});
  EXPECT_EQ(probe.output, song + ": 44100 Hz, 2 channels, " + std::to_string(got.size() / 2) + " frames, state 0\n");
}

TEST_F(Mp3BatchTest, FilesThatAreNotLayer3GetItsMessage) {
  const std::string truncated = folder_ + "/truncated.mp3";
  test::WriteBytes(truncated, std::string("\xFF\xFB\x90", 3));
  LRun run = RunBatchProgram({"-q", "--format", "wav", "--output-folder", folder_ + "/out", truncated});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("Cannot open the file \"" + truncated +
                            "\". It is possibly either corrupt or not a true layer-3 MPEG file."),
            std::string::npos)
      << run.output;
  const std::string missing = folder_ + "/missing.mp3";
  run = RunBatchProgram({"-q", "--format", "wav", missing});
  EXPECT_NE(run.output.find("Cannot open the file \"" + missing + "\". Check it exists and you have read access."),
            std::string::npos)
      << run.output;
  EXPECT_FALSE(FileExists(folder_ + "/out/truncated.wav"));
}

}  // namespace
}  // namespace klangor
