// Compressed WAV saving: every codec of the format list decodes again with its rate and
// channels, the codec data is byte for byte what ffmpeg writes from the same samples, the
// header holds the full record, and a stored format that cannot be written fails clearly.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "docio/save_audio_file.h"
#include "docio/wav_codec_file.h"
#include "docio_test_util.h"
#include "formats/wav_codec_sink.h"
#include "platform/byte_order.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using test::RunTool;

class WavCodecSaveTest : public test::OpenTest {
 protected:
  // Saves a tone of 1.5 s.
  LResult Save(const std::string& path, int32_t rate, int channels) {
    return OpenTest::Save(MakeRef<test::LFunctionStream>(rate, channels, rate * 3 / 2, [rate](int64_t frame, int channel) {
      return static_cast<int32_t>(300000 * std::sin(frame * (440.0 + 330 * channel) * 6.283 / rate));
    }), path);
  }
  void Store(const LWaveFormat& format) { ASSERT_TRUE(WriteWavCodecFile(Path("WavCodec.wff"), format)); }
  // The bytes of the "data" chunk of a WAVE file.
  static std::string DataChunk(const std::string& bytes) {
    for (size_t at = 12; at + 8 <= bytes.size();) {
      const uint32_t size = LoadLe32(bytes, at + 4);
      if (bytes.compare(at, 4, "data") == 0) return bytes.substr(at + 8, size);
      at += 8 + size + (size & 1);
    }
    return {};
  }
};

TEST_F(WavCodecSaveTest, EveryCodecWritesWhatFfmpegWritesFromTheSameSamples) {
  struct LCase {
    uint16_t tag;
    int32_t rate;
    int channels, kbit;
    const char* codec;
    std::vector<std::string> ffmpegArgs;  // how ffmpeg encodes the reference; empty: lossy, length only
  };
  const LCase cases[] = {
      {kWaveFormatALaw, 44100, 2, 0, "pcm_alaw", {"-c:a", "pcm_alaw"}},
      {kWaveFormatMuLaw, 8000, 1, 0, "pcm_mulaw", {"-c:a", "pcm_mulaw"}},
      {kWaveFormatImaAdpcm, 44100, 2, 0, "adpcm_ima_wav", {"-c:a", "adpcm_ima_wav", "-block_size", "2048"}},
      {kWaveFormatMsAdpcm, 22050, 1, 0, "adpcm_ms", {"-c:a", "adpcm_ms", "-block_size", "512"}},
      {kWaveFormatGsm610, 8000, 1, 0, "gsm_ms", {"-c:a", "libgsm_ms"}},
      {kWaveFormatMpegLayer3, 44100, 2, 128, "mp3", {}},
  };
  for (const LCase& c : cases) {
    SCOPED_TRACE(c.codec);
    const std::optional<LWaveFormat> format = MakeCodecWaveFormat(c.tag, c.rate, c.channels, c.kbit);
    ASSERT_TRUE(format.has_value());
    Store(*format);
    // The PCM reference of the same samples, at the codec's rate and channels.
    Store(MakePcm16Format(c.rate, c.channels));
    ASSERT_EQ(Save(Path("ref.wav"), c.rate, c.channels), LResult::kDone);
    Store(*format);
    const std::string target = Path(std::string(c.codec) + ".wav");
    ASSERT_EQ(Save(target, c.rate, c.channels), LResult::kDone);

    const std::string out = RunTool({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels",
                                     "-of", "csv=p=0", target});
    EXPECT_EQ(out.substr(0, out.find_last_not_of("\n") + 1),
              std::string(c.codec) + "," + std::to_string(c.rate) + "," + std::to_string(c.channels));
    // The header: the record with its extra bytes, no other chunk, sizes that add up.
    const std::string bytes = test::ReadBytes(target);
    ASSERT_GT(bytes.size(), 46u);
    EXPECT_EQ(LoadLe32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(bytes.compare(12, 4, "fmt "), 0);
    EXPECT_EQ(LoadLe32(bytes, 16), 18 + format->extraBytes.size());
    EXPECT_EQ(bytes.compare(20 + LoadLe32(bytes, 16), 4, "data"), 0);
    EXPECT_EQ(bytes.find("fact"), std::string::npos);

    const int64_t frames = static_cast<int64_t>(test::FfmpegSamples(target).size()) / c.channels;
    EXPECT_LE(std::llabs(frames - c.rate * 3 / 2), 2048) << frames;
    if (!c.ffmpegArgs.empty()) {
      std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", Path("ref.wav")};
      args.insert(args.end(), c.ffmpegArgs.begin(), c.ffmpegArgs.end());
      args.push_back(Path("peer.wav"));
      RunTool(args);
      EXPECT_GT(DataChunk(bytes).size(), 1000u);
      // (Reading such files, sample for sample against ffmpeg: open_peer_test.)
      EXPECT_EQ(DataChunk(bytes), DataChunk(test::ReadBytes(Path("peer.wav"))));
    }
  }
  EXPECT_TRUE(kept_.messages.empty());
}

TEST_F(WavCodecSaveTest, AStoredFormatThatCannotBeWrittenFailsAndKeepsTheOldFile) {
  test::WriteBytes(Path("old.wav"), "the old file");
  LWaveFormat odd = *MakeCodecWaveFormat(kWaveFormatImaAdpcm, 44100, 2);
  odd.samplesPerSec = 7;
  for (uint16_t tag : {kWaveFormatImaAdpcm, uint16_t{0x1234}}) {
    odd.formatTag = tag;
    Store(odd);
    kept_.messages.clear();
    EXPECT_EQ(Save(Path("old.wav"), 44100, 2), LResult::kFailed);
    ASSERT_EQ(kept_.messages.size(), 1u);
    EXPECT_NE(kept_.messages[0].find("WavCodec.wff"), std::string::npos) << kept_.messages[0];
    EXPECT_EQ(test::ReadBytes(Path("old.wav")), "the old file");
  }
  // A stored record with odd block and byte sizes is written with the encoder's own.
  LWaveFormat sloppy = *MakeCodecWaveFormat(kWaveFormatImaAdpcm, 22050, 1);
  sloppy.blockAlign = 3;
  sloppy.avgBytesPerSec = 1;
  sloppy.extraBytes.clear();
  Store(sloppy);
  ASSERT_EQ(Save(Path("s.wav"), 22050, 1), LResult::kDone);
  EXPECT_EQ(LoadLe16(reinterpret_cast<const uint8_t*>(test::ReadBytes(Path("s.wav")).data()) + 32),
            MakeCodecWaveFormat(kWaveFormatImaAdpcm, 22050, 1)->blockAlign);
}

}  // namespace
}  // namespace klangor
