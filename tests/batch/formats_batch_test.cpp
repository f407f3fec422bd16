// klangor-batch with the formats besides WAV: every writable one round-trips, the raw formats
// follow the stored records, an MP3 song becomes the WAV a reference decoder hears, and refused
// files get their format's message.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "batch/batch_processor.h"
#include "formats/format_table.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using LRun = test::LBatchRun;
constexpr auto RunBatch = test::RunKlangorBatch;

using test::RunTool;
using test::SoxSamples16;

class FormatsBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    folder_ = test::TempPath("-formats");
    ASSERT_TRUE(EnsureFolder(folder_ + "/mid"));
    ASSERT_TRUE(EnsureFolder(folder_ + "/back"));
    ASSERT_TRUE(EnsureFolder(folder_ + "/out"));
    test::UsePrivateHome(folder_);
    store_ = std::make_unique<LSettingsStore>(LSettingsStore::FromEnvironment());
  }
  std::string folder_;
  std::unique_ptr<LSettingsStore> store_;
};

TEST_F(FormatsBatchTest, EveryWritableFormatRoundTrips) {
  const std::string input = folder_ + "/take.wav";
  RunTool({"sox", "-V1", "-R", "-n", "-b", "16", "-r", "8000", "-c", "1", input, "synth", "1.3", "sine", "200-1200",
           "sine", "2100", "vol", "0.4"});
  const std::vector<int16_t> original = SoxSamples16(input);
  ASSERT_TRUE(store_->Write(kRawAudioSampleRate, 8000));

  // Every writable row of the format table that the batch offers as an output; what sox needs
  // to read the headerless ones, and how close the lossy ones come back.
  struct LCase {
    std::string extension;
    std::vector<std::string> soxType;  // how sox reads the intermediate file
    double minSnrDb;                   // 0: exact
  };
  const std::map<std::string, LCase> special = {
      {"gsm", {"gsm", {}, 8}},
      {"vox", {"vox", {"-t", "vox", "-r", "8000"}, 15}},
      {"raw", {"raw", {"-t", "s16", "-L", "-r", "8000", "-c", "1"}, 0}},
  };
  std::vector<LCase> cases;
  for (const LFormatEntry& entry : FormatTable()) {
    const std::string extension = entry.extension;
    const auto& outputs = BatchOutputExtensions();
    if (entry.create == nullptr || extension == "wav" ||
        std::find(outputs.begin(), outputs.end(), "." + extension) == outputs.end()) {
      continue;
    }
    cases.push_back(special.count(extension) ? special.at(extension) : LCase{extension, {}, 0});
  }
  EXPECT_GE(cases.size(), 5u);
  for (const LCase& c : cases) {
    SCOPED_TRACE(c.extension);
    LRun run = RunBatch({"-q", "--format", c.extension, "--output-folder", folder_ + "/mid", input});
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string middle = folder_ + "/mid/take." + c.extension;
    // sox reads what was written: as long as the input (GSM pads its last frame).
    EXPECT_EQ(SoxSamples16(middle, c.soxType).size(),
              c.extension == "gsm" ? (original.size() + 159) / 160 * 160 : original.size());
    run = RunBatch({"-q", "--format", "wav", "--output-folder", folder_ + "/back", middle});
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<int16_t> back = SoxSamples16(folder_ + "/back/take.wav");
    if (c.minSnrDb == 0) {
      EXPECT_EQ(back, original);
    } else {
      const double snr = test::SnrDb(original, back);
      std::cout << "[ BATCH    ] wav -> " << c.extension << " -> wav: " << snr << " dB\n";
      EXPECT_GT(snr, c.minSnrDb);
    }
  }

  // The raw record decides: stereo 16-bit big-endian, read back with the same record.
  ASSERT_TRUE(store_->Write(kRawAudioCodec, 6));
  const std::string stereo = folder_ + "/two.wav";
  RunTool({"sox", "-V1", "-R", "-n", "-b", "16", "-r", "8000", "-c", "2", stereo, "synth", "0.5", "whitenoise"});
  ASSERT_TRUE(store_->Write(kRawAudioChannels, 2));
  LRun run = RunBatch({"-q", "--format", "raw", "--output-folder", folder_ + "/mid", stereo});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(SoxSamples16(folder_ + "/mid/two.raw", {"-t", "s16", "-B", "-r", "8000", "-c", "2"}), SoxSamples16(stereo));
  // A record whose format differs from the audio: the sound is converted to it (0.5 s of
  // 8000 Hz stereo becomes 0.5 s of 44100 Hz mono, to the converter's step 2/11: 22000 frames).
  ASSERT_TRUE(store_->Write(kRawAudioSampleRate, 44100));
  ASSERT_TRUE(store_->Write(kRawAudioChannels, 1));
  run = RunBatch({"-q", "--format", "raw", "--output-folder", folder_ + "/back", stereo});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::ReadBytes(folder_ + "/back/two.raw").size(), 2u * 22000);
}

std::vector<int16_t> Samples16(const std::string& bytes, size_t offset) {
  std::vector<int16_t> samples((bytes.size() - offset) / 2);
  std::memcpy(samples.data(), bytes.data() + offset, samples.size() * 2);
  return samples;
}

// Two songs: one with a frame-count frame (exact length), and one VBR file without it, whose
// estimated length is far too short at first (large first frames, then tiny ones).
TEST_F(FormatsBatchTest, ConvertsMp3SongsToWav) {
  if (!test::HaveProgram("lame") || !test::HaveProgram("mpg123")) GTEST_SKIP() << "lame and mpg123 are needed";
  struct LSong {
    std::string name;
    std::vector<std::string> lameOptions;
    int channels;
    int rate;
  };
  const std::vector<LSong> songs = {{"song", {"-V", "2"}, 2, 44100}, {"untagged", {"-V", "9", "-t"}, 1, 22050}};
  const std::string wav = folder_ + "/source.wav";
  for (const LSong& song : songs) {
    SCOPED_TRACE(song.name);
    const std::string mp3 = folder_ + "/" + song.name + ".mp3";
    RunTool({"sox", "-V1", "-n", "-b", "16", "-c", std::to_string(song.channels), "-r", std::to_string(song.rate),
             wav, "synth", "3", "pluck", "A3", "synth", "3", "sine", "mix", "300-1200", "vol", "0.7"});
    std::vector<std::string> lame = {"lame", "--quiet"};
    lame.insert(lame.end(), song.lameOptions.begin(), song.lameOptions.end());
    lame.insert(lame.end(), {wav, mp3});
    RunTool(lame);

    LRun run = RunBatch({"-q", "--format", "wav", "--output-folder", folder_ + "/out", mp3});
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string written = test::ReadBytes(folder_ + "/out/" + song.name + ".wav");
    ASSERT_GT(written.size(), 46u);
    EXPECT_EQ(written.substr(22, 2), test::Le16(song.channels));
    EXPECT_EQ(written.substr(24, 4), test::Le32(song.rate));
    EXPECT_EQ(written.substr(34, 2), test::Le16(16));

    // The reference: mpg123's 16-bit decoding of every frame.
    std::string raw;
    ASSERT_EQ(test::Run({"mpg123", "-q", "--no-gapless", "-e", "s16", "-s", mp3}, &raw), 0);
    const std::vector<int16_t> reference = Samples16(raw, 0);
    const std::vector<int16_t> got = Samples16(written, 46);
    ASSERT_EQ(got.size(), reference.size());
    int worst = 0;
    for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - reference[i]));
    EXPECT_LE(worst, 1);  // rounding of the last bit only
    if (song.name != "song") continue;

    LRun probe = RunBatch({"--probe", mp3});
    EXPECT_EQ(probe.output, mp3 + ": 44100 Hz, 2 channels, " + std::to_string(got.size() / 2) + " frames, state 0\n");
  }
}

TEST_F(FormatsBatchTest, RefusedFilesGetTheirFormatsMessage) {
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

  const std::string mp3 = folder_ + "/truncated.mp3";
  test::WriteBytes(mp3, std::string("\xFF\xFB\x90", 3));
  run = RunBatch({"-q", "--format", "wav", "--output-folder", folder_ + "/out", mp3});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("Cannot open the file \"" + mp3 +
                            "\". It is possibly either corrupt or not a true layer-3 MPEG file."),
            std::string::npos) << run.output;
  EXPECT_FALSE(FileExists(folder_ + "/out/truncated.wav"));
  const std::string missing = folder_ + "/missing.mp3";
  run = RunBatch({"-q", "--format", "wav", missing});
  EXPECT_NE(run.output.find("Cannot open the file \"" + missing + "\". Check it exists and you have read access."),
            std::string::npos) << run.output;
}

}  // namespace
}  // namespace klangor
