// Headerless PCM and G.711 files: the common read rule, the conversions, and files exchanged
// with sox in every codec.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/g711.h"
#include "formats/pcm_file.h"
#include "formats/raw_format.h"
#include "native_test_files.h"

namespace klangor {
namespace {

using namespace nativetest;  // NOLINT: test helpers

struct LCodecCase {
  LRawCodec codec;
  std::vector<std::string> soxType;  // how sox names the headerless type
};

const std::vector<LCodecCase>& PcmCodecs() {
  static const std::vector<LCodecCase> cases = {
      {LRawCodec::kMuLaw, {"-t", "ul"}},
      {LRawCodec::kALaw, {"-t", "al"}},
      {LRawCodec::kPcm16LittleEndian, {"-t", "s16", "-L"}},
      {LRawCodec::kPcm8Unsigned, {"-t", "u8"}},
      {LRawCodec::kPcm8Signed, {"-t", "s8"}},
      {LRawCodec::kPcm16BigEndian, {"-t", "s16", "-B"}},
  };
  return cases;
}

LRawFormat Format(LRawCodec codec, uint32_t rate, uint8_t channels) {
  return {rate, channels, static_cast<uint32_t>(codec)};
}

std::vector<std::string> SoxInput(const LCodecCase& c, int rate, int channels) {
  std::vector<std::string> args = c.soxType;
  args.insert(args.end(), {"-r", std::to_string(rate), "-c", std::to_string(channels)});
  return args;
}

TEST(PcmFileTest, CommonReadRule) {
  // 3 bytes of 16-bit mono: one whole sample, then silence.
  const std::string three = TestPath("three.raw");
  test::WriteBytes(three, test::Le16(1000) + "\x05");
  LRef<LSoundStream> stream = OpenRawFile(Format(LRawCodec::kPcm16LittleEndian, 8000, 1), three);
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 1);
  EXPECT_EQ(ReadFrames(*stream, 4), (std::vector<int32_t>{16000, 0, 0, 0}));

  // 100 frames at -50: 50 zero frames, then the file's first 50 (stereo).
  std::string data;
  for (int i = 0; i < 400; ++i) data += test::Le16(static_cast<uint32_t>(i + 1));
  const std::string path = TestPath("ramp.raw");
  test::WriteBytes(path, data);
  stream = OpenRawFile(Format(LRawCodec::kPcm16LittleEndian, 8000, 2), path);
  EXPECT_EQ(stream->Length(), 200);
  stream->Seek(-50);
  std::vector<int32_t> got = ReadFrames(*stream, 100);
  EXPECT_EQ(stream->Position(), 50);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(got[static_cast<size_t>(i)], i < 100 ? 0 : (i - 100 + 1) * 16) << i;
  // Past the end: silence, and the position still moves.
  stream->Seek(190);
  got = ReadFrames(*stream, 20);
  EXPECT_EQ(got[19], 400 * 16);
  EXPECT_EQ(got[20], 0);
  EXPECT_EQ(stream->Position(), 210);

  // A header's length shorter than the file ends the stream there; one longer counts only
  // the frames the file holds, and reads beyond them are silence.
  LPcmFileStream shorter(LFile::Open(path, LFileMode::kRead), LPcmCodec::k16BitBigEndian, 8000, 1, 6, 3);
  EXPECT_EQ(shorter.Length(), 3);
  EXPECT_EQ(ReadFrames(shorter, 5), (std::vector<int32_t>{0x0400 * 16, 0x0500 * 16, 0x0600 * 16, 0, 0}));
  LPcmFileStream longer(LFile::Open(path, LFileMode::kRead), LPcmCodec::k8BitSigned, 8000, 1, 790, 1000000);
  EXPECT_EQ(longer.Length(), 10);
  // The last 10 bytes are 8C 01 8D 01 ... 90 01.
  std::vector<int32_t> expected(12, 0);
  for (int i = 0; i < 5; ++i) {
    expected[static_cast<size_t>(2 * i)] = (0x8C + i - 256) * 4096;
    expected[static_cast<size_t>(2 * i + 1)] = 4096;
  }
  EXPECT_EQ(ReadFrames(longer, 12), expected);
  LPcmFileStream missing(LFile::Open(TestPath("none.raw"), LFileMode::kRead), LPcmCodec::kMuLaw, 8000, 1, 0, -1);
  EXPECT_EQ(missing.State(), LStreamState::kCannotOpen);
  EXPECT_EQ(missing.Length(), 0);
}

TEST(PcmFileTest, G711CodesRoundTripAndMatchSoxForEveryByte) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  const std::string path = TestPath("all.bytes");
  test::WriteBytes(path, bytes);
  const std::vector<int16_t> mu = SoxSamples16(path, {"-t", "ul", "-r", "8000", "-c", "1"});
  const std::vector<int16_t> a = SoxSamples16(path, {"-t", "al", "-r", "8000", "-c", "1"});
  ASSERT_EQ(mu.size(), 256u);
  ASSERT_EQ(a.size(), 256u);
  for (int code = 0; code < 256; ++code) {
    const auto c = static_cast<uint8_t>(code);
    EXPECT_EQ(MuLawToSample(c), mu[c] * 16) << code;
    EXPECT_EQ(ALawToSample(c), a[c] * 16) << code;
    // Every code decodes to a value that codes back to it (mu-law has two zeros).
    if (MuLawToSample(c) != 0) {
      EXPECT_EQ(SampleToMuLaw(MuLawToSample(c)), c) << code;
    }
    EXPECT_EQ(SampleToALaw(ALawToSample(c)), c) << code;
  }
  EXPECT_EQ(SampleToMuLaw(0), 0xFF);
  EXPECT_EQ(SampleToMuLaw(INT32_MIN), 0x00);  // the most negative code, without overflow
  EXPECT_EQ(SampleToALaw(INT32_MAX), 0xAA);
  EXPECT_EQ(PcmFullScale(LPcmCodec::kMuLaw), 516096);
}

TEST(PcmFileTest, ReadsWhatSoxWritesInEveryCodec) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  for (const LCodecCase& c : PcmCodecs()) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE("codec " + std::to_string(static_cast<int>(c.codec)) + ", channels " + std::to_string(channels));
      const std::string path = TestPath("sox.raw");
      std::vector<std::string> argv = {"sox", "-V1", "-D", "-n"};
      std::vector<std::string> output = SoxInput(c, 22051, channels);
      argv.insert(argv.end(), output.begin(), output.end());
      argv.insert(argv.end(), {path, "synth", "0.61", "whitenoise", "vol", "0.95"});
      RunTool(argv);
      std::vector<int32_t> expected;
      for (int16_t s : SoxSamples16(path, SoxInput(c, 22051, channels))) expected.push_back(s * 16);
      LRef<LSoundStream> stream = OpenRawFile(Format(c.codec, 22051, static_cast<uint8_t>(channels)), path);
      ASSERT_TRUE(stream->Usable());
      EXPECT_EQ(stream->SampleRate(), 22051);
      EXPECT_EQ(stream->Channels(), channels);
      ASSERT_EQ(static_cast<size_t>(stream->Length()) * channels, expected.size());
      // In uneven pieces: the result must not depend on the slicing.
      std::vector<int32_t> got;
      for (int32_t n = 1; got.size() < expected.size(); n = n * 3 % 9001 + 1) {
        std::vector<int32_t> piece = ReadFrames(*stream, n);
        got.insert(got.end(), piece.begin(), piece.end());
      }
      got.resize(expected.size());
      EXPECT_EQ(got, expected);
    }
  }
}

// What the file holds after writing v, as sox gives it in 16 bits.
int16_t WrittenAs16(LRawCodec codec, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  switch (codec) {
    case LRawCodec::kMuLaw: return static_cast<int16_t>(MuLawToSample(SampleToMuLaw(v)) / 16);
    case LRawCodec::kALaw: return static_cast<int16_t>(ALawToSample(SampleToALaw(v)) / 16);
    case LRawCodec::kPcm8Unsigned:
    case LRawCodec::kPcm8Signed: {
      const uint32_t top = v >= 522240 && v < 524288 ? 522239u : u;  // no wrap at the top
      return static_cast<int16_t>(static_cast<int8_t>((top + 2048) >> 12) * 256);
    }
    default: return static_cast<int16_t>((u + 8) >> 4);
  }
}

TEST(PcmFileTest, SoxReadsWhatTheSinksWrite) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  std::mt19937 random(99);
  for (const LCodecCase& c : PcmCodecs()) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE("codec " + std::to_string(static_cast<int>(c.codec)) + ", channels " + std::to_string(channels));
      const int frames = 20011;
      std::vector<int32_t> samples;
      for (int i = 0; i < frames * channels; ++i) {
        samples.push_back(std::uniform_int_distribution<int32_t>(-524272, 524272)(random));
      }
      samples[0] = 524272;  // full scale both ways
      samples[1] = -524272;
      const std::string path = TestPath("ours.raw");
      {
        LRef<LSoundSink> sink = CreateRawFile(Format(c.codec, 16000, static_cast<uint8_t>(channels)), path);
        ASSERT_FALSE(sink->Failed());
        EXPECT_EQ(sink->SampleRate(), 16000);
        EXPECT_EQ(sink->Channels(), channels);
        sink->Write(samples.data(), 5000);
        sink->Write(samples.data() + 5000 * channels, frames - 5000);
        sink->Finish();
        ASSERT_FALSE(sink->Failed());
      }
      std::vector<int16_t> expected;
      for (int32_t v : samples) expected.push_back(WrittenAs16(c.codec, v));
      EXPECT_EQ(SoxSamples16(path, SoxInput(c, 16000, channels)), expected);
      EXPECT_EQ(expected[0] > 0, true) << "full scale must not wrap";
    }
  }
}

TEST(PcmFileTest, G711CodingErrorStaysWithinOneStepOfTheSegment) {
  for (int32_t v = -530000; v <= 530000; v += 37) {
    const int32_t clamped = std::clamp(v, -kG711FullScale, kG711FullScale);
    const uint8_t mu = SampleToMuLaw(v);
    const int32_t muStep = 128 << ((~mu >> 4) & 7);
    ASSERT_LE(std::abs(MuLawToSample(mu) - clamped), muStep) << v;
    const uint8_t a = SampleToALaw(v);
    const int segment = ((a ^ 0x55) >> 4) & 7;
    const int32_t aStep = segment == 0 ? 256 : 256 << (segment - 1);
    ASSERT_LE(std::abs(ALawToSample(a) - clamped), aStep) << v;
  }
}

}  // namespace
}  // namespace klangor
