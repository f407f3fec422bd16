// WAVE files exchanged with sox: what sox writes reads back as sox reads it, and what the
// sink writes sox reads as intended.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/wav_file.h"
#include "wav_test_files.h"

namespace klangor {
namespace {

using namespace wavtest;  // NOLINT: test helpers

// The internal value of a sample that sox reports left-justified in 32 bits, by the
// reader's conversion for the file's container width.
int32_t InternalFromSox(int32_t sox, int bits) {
  switch (bits) {
    case 8: return (sox >> 24) * 4096;  // sox gives unsigned bytes as (byte - 128) << 24
    case 16: return (sox >> 16) * 16;
    case 24: return (sox >> 8) >> 4;
    default: return static_cast<int32_t>((int64_t{sox} + 2048) >> 12);
  }
}

TEST(WaveSox, ReadsWhatSoxWrites) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  for (int bits : {8, 16, 24, 32}) {
    for (int channels : {1, 2, 3}) {
      const std::string where = std::to_string(bits) + " bits, " + std::to_string(channels) + " channels";
      std::string path = TestPath("sox" + std::to_string(bits) + "_" + std::to_string(channels) + ".wav");
      // Odd rates and lengths: the data chunk may need a pad byte, pieces are uneven.
      RunTool({"sox", "-V1", "-D", "-n", "-e", bits == 8 ? "unsigned-integer" : "signed-integer", "-b",
           std::to_string(bits), "-c", std::to_string(channels), "-r", "22051", path, "synth",
           "0.77", "whitenoise", "vol", "0.9"});
      LRef<LSoundStream> stream = OpenWaveFile(path);
      ASSERT_TRUE(stream->Usable()) << where << " state " << static_cast<int>(stream->State());
      EXPECT_EQ(stream->SampleRate(), 22051) << where;
      EXPECT_EQ(stream->Channels(), channels) << where;
      int32_t soxFrames = std::stoi(RunTool({"soxi", "-s", path}));
      ASSERT_EQ(stream->Length(), soxFrames) << where;

      std::vector<int32_t> reference = SoxSamples(path);
      ASSERT_EQ(reference.size(), static_cast<size_t>(soxFrames) * channels) << where;
      for (int32_t& s : reference) s = InternalFromSox(s, bits);
      EXPECT_EQ(ReadFrames(*stream, soxFrames), reference) << where;
    }
  }
}

TEST(WaveSox, SoxReadsWhatTheSinkWrites) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  const int frames = 30011;
  for (int bytesPerSample = 1; bytesPerSample <= 4; ++bytesPerSample) {
    for (int channels : {1, 2}) {
      const std::string where = std::to_string(bytesPerSample) + " bytes, " + std::to_string(channels) + " channels";
      std::vector<int32_t> samples;
      uint32_t state = 12345;
      for (int i = 0; i < frames * channels; ++i) {
        state = state * 1664525u + 1013904223u;
        samples.push_back(static_cast<int32_t>(state >> 12) - 524288);  // within [-524288, 524288)
      }
      std::string path = TestPath("sink.wav");
      {
        LRef<LSoundSink> sink = CreatePcmWaveSink(path, channels, bytesPerSample, 48000, 0);
        sink->Write(samples.data(), frames);
        sink->Finish();
        ASSERT_FALSE(sink->Failed()) << where;
      }
      EXPECT_EQ(std::stoi(RunTool({"soxi", "-r", path})), 48000) << where;
      EXPECT_EQ(std::stoi(RunTool({"soxi", "-c", path})), channels) << where;
      EXPECT_EQ(std::stoi(RunTool({"soxi", "-s", path})), frames) << where;
      EXPECT_EQ(std::stoi(RunTool({"soxi", "-b", path})), 8 * bytesPerSample) << where;

      // The file's samples by the write conversion, left-justified as sox gives them.
      std::vector<int32_t> expected;
      for (int32_t x : samples) {
        auto u = static_cast<uint32_t>(x);
        switch (bytesPerSample) {
          case 1: {  // byte - 128; the top of the 16-bit range stays at the largest byte
            uint32_t top = x >= 522240 && x < 524288 ? 522239u : u;
            expected.push_back(static_cast<int32_t>(((top + 2048) >> 12) << 24));
            break;
          }
          case 2: expected.push_back(static_cast<int32_t>(((u + 8) >> 4) << 16)); break;
          case 3: expected.push_back(static_cast<int32_t>((u << 4) << 8)); break;
          default: expected.push_back(static_cast<int32_t>(u << 12)); break;
        }
      }
      EXPECT_EQ(SoxSamples(path), expected) << where;
    }
  }
}

}  // namespace
}  // namespace klangor
