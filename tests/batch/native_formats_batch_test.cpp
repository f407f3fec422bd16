// klangor-batch with the native formats besides WAV: every writable one round-trips, the raw
// formats follow the stored records, and refused files get their format's message.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using LRun = test::LBatchRun;
constexpr auto RunBatch = test::RunKlangorBatch;

std::vector<int16_t> Samples16(const std::string& path) {
  std::string raw;
  EXPECT_EQ(test::Run({"sox", "-V1", path, "-t", "s16", "-L", "-"}, &raw), 0) << path;
  std::vector<int16_t> samples(raw.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) | static_cast<uint8_t>(raw[2 * i + 1]) << 8);
  }
  return samples;
}

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& got) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < std::min(reference.size(), got.size()); ++i) {
    const double r = reference[i];
    const double d = r - got[i];
    signal += r * r;
    noise += d * d;
  }
  return 10 * std::log10(signal / std::max(noise, 1e-9));
}

class NativeFormatsBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    folder_ = test::TempPath("-native");
    ASSERT_TRUE(EnsureFolder(folder_ + "/mid"));
    ASSERT_TRUE(EnsureFolder(folder_ + "/back"));
    setenv("XDG_DATA_HOME", (folder_ + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
    setenv("KLANGOR_MACHINE_SETTINGS", (folder_ + "/machine/Klangor.ini").c_str(), 1);
    store_ = std::make_unique<LSettingsStore>(LSettingsStore::FromEnvironment());
  }
  std::string folder_;
  std::unique_ptr<LSettingsStore> store_;
};

TEST_F(NativeFormatsBatchTest, EveryWritableFormatRoundTrips) {
  const std::string input = folder_ + "/take.wav";
  ASSERT_EQ(test::Run({"sox", "-V1", "-R", "-n", "-b", "16", "-r", "8000", "-c", "1", input, "synth", "1.3", "sine",
                       "200-1200", "sine", "2100", "vol", "0.4"}), 0);
  const std::vector<int16_t> original = Samples16(input);
  ASSERT_TRUE(store_->Write(kRawAudioSampleRate, 8000));

  struct LCase {
    std::string extension;
    std::vector<std::string> soxType;  // how sox reads the intermediate file
    double minSnrDb;                   // 0: exact
  };
  const std::vector<LCase> cases = {
      {"aiff", {}, 0}, {"au", {}, 0}, {"gsm", {}, 8},
      {"vox", {"-t", "vox", "-r", "8000"}, 15}, {"raw", {"-t", "s16", "-L", "-r", "8000", "-c", "1"}, 0},
  };
  for (const LCase& c : cases) {
    SCOPED_TRACE(c.extension);
    LRun run = RunBatch({"-q", "--format", c.extension, "--output-folder", folder_ + "/mid", input});
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string middle = folder_ + "/mid/take." + c.extension;
    // sox reads what was written: as long as the input (GSM pads its last frame).
    std::vector<std::string> argv = {"sox", "-V1"};
    argv.insert(argv.end(), c.soxType.begin(), c.soxType.end());
    argv.insert(argv.end(), {middle, "-t", "s16", "-"});
    std::string decoded;
    ASSERT_EQ(test::Run(argv, &decoded), 0);
    EXPECT_EQ(decoded.size() / 2, c.extension == "gsm" ? (original.size() + 159) / 160 * 160 : original.size());
    run = RunBatch({"-q", "--format", "wav", "--output-folder", folder_ + "/back", middle});
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<int16_t> back = Samples16(folder_ + "/back/take.wav");
    if (c.minSnrDb == 0) {
      EXPECT_EQ(back, original);
    } else {
      const double snr = SnrDb(original, back);
      std::cout << "[ BATCH    ] wav -> " << c.extension << " -> wav: " << snr << " dB\n";
      EXPECT_GT(snr, c.minSnrDb);
    }
  }

  // The raw record decides: stereo 16-bit big-endian, read back with the same record.
  ASSERT_TRUE(store_->Write(kRawAudioCodec, 6));
  const std::string stereo = folder_ + "/two.wav";
  ASSERT_EQ(test::Run({"sox", "-V1", "-R", "-n", "-b", "16", "-r", "8000", "-c", "2", stereo, "synth", "0.5", "whitenoise"}), 0);
  ASSERT_TRUE(store_->Write(kRawAudioChannels, 2));
  LRun run = RunBatch({"-q", "--format", "raw", "--output-folder", folder_ + "/mid", stereo});
  ASSERT_EQ(run.status, 0) << run.output;
  std::string raw;
  ASSERT_EQ(test::Run({"sox", "-V1", "-t", "s16", "-B", "-r", "8000", "-c", "2", folder_ + "/mid/two.raw", "-t", "s16", "-L", "-"}, &raw), 0);
  std::string expected;
  ASSERT_EQ(test::Run({"sox", "-V1", stereo, "-t", "s16", "-L", "-"}, &expected), 0);
  EXPECT_EQ(raw, expected);
  // A record whose format differs from the audio: the sound is converted to it (0.5 s of
  // 8000 Hz stereo becomes 0.5 s of 44100 Hz mono, to the converter's step 2/11: 22000 frames).
  ASSERT_TRUE(store_->Write(kRawAudioSampleRate, 44100));
  ASSERT_TRUE(store_->Write(kRawAudioChannels, 1));
  run = RunBatch({"-q", "--format", "raw", "--output-folder", folder_ + "/back", stereo});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::ReadBytes(folder_ + "/back/two.raw").size(), 2u * 22000);
}

TEST_F(NativeFormatsBatchTest, RefusedFilesGetTheirFormatsMessage) {
  const std::string au = folder_ + "/broken.au";
  test::WriteBytes(au, ".snd");
  LRun run = RunBatch({"-q", au});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("Cannot open the file \"" + au + "\" because it is corrupt."), std::string::npos) << run.output;
  const std::string gsm = folder_ + "/missing.gsm";
  run = RunBatch({"-q", gsm});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("Cannot open the file \"" + gsm + "\". Check it exists and you have read access."),
            std::string::npos) << run.output;
  run = RunBatch({"--probe", folder_ + "/missing.vox"});
  EXPECT_NE(run.output.find("8000 Hz, 1 channels, 0 frames, state 4"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace klangor
