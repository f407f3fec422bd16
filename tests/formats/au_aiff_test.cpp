// ".au" and AIFF files: headers as sox writes and reads them, and the refusals of broken or
// unsupported headers.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "formats/aiff_file.h"
#include "formats/au_file.h"
#include "native_test_files.h"

namespace klangor {
namespace {

using namespace nativetest;  // NOLINT: test helpers

std::string AuHeader(uint32_t offset, uint32_t size, uint32_t encoding, uint32_t rate, uint32_t channels) {
  return ".snd" + Be32(offset) + Be32(size) + Be32(encoding) + Be32(rate) + Be32(channels);
}

std::string Extended(uint32_t rate) {
  std::array<uint8_t, 10> bytes = ExtendedFromRate(rate);
  return std::string(bytes.begin(), bytes.end());
}

std::string Comm(uint32_t channels, uint32_t frames, uint32_t bits, const std::string& rate) {
  return "COMM" + Be32(18) + Be16(channels) + Be32(frames) + Be16(bits) + rate;
}

std::string Aiff(const std::string& chunks, const std::string& form = "AIFF") {
  return "FORM" + Be32(static_cast<uint32_t>(chunks.size() + 4)) + form + chunks;
}

std::string Ssnd(const std::string& data) { return "SSND" + Be32(static_cast<uint32_t>(data.size() + 8)) + Be32(0) + Be32(0) + data; }

// The bodies of the chunks of an AIFF file, by identifier.
std::map<std::string, std::string> AiffChunks(const std::string& bytes) {
  std::map<std::string, std::string> chunks;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const size_t size = static_cast<uint8_t>(bytes[at + 4]) << 24 | static_cast<uint8_t>(bytes[at + 5]) << 16 |
                        static_cast<uint8_t>(bytes[at + 6]) << 8 | static_cast<uint8_t>(bytes[at + 7]);
    chunks[bytes.substr(at, 4)] = bytes.substr(at + 8, size);
    at += 8 + size + (size & 1);
  }
  return chunks;
}

// A chunk with its pad byte when its size is odd.
std::string Chunk(const std::string& id, const std::string& body) {
  return id + Be32(static_cast<uint32_t>(body.size())) + body + (body.size() % 2 != 0 ? std::string(1, '\0') : "");
}

// The sound data chunk with `padding` bytes between its offset field and the first frame.
std::string PaddedSsnd(const std::string& data, uint32_t padding) {
  return Chunk("SSND", Be32(padding) + Be32(0) + std::string(padding, '\x7F') + data);
}

LRef<LSoundStream> OpenImage(const std::string& bytes, const std::string& extension) {
  const std::string path = TestPath("image." + extension);
  test::WriteBytes(path, bytes);
  return extension == "au" ? OpenAuFile(path) : OpenAiffFile(path);
}

TEST(AuAiffTest, ReadsWhatSoxWrites) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  struct LCase {
    std::string extension;
    std::vector<std::string> encoding;
  };
  const std::vector<LCase> cases = {
      {"au", {"-e", "mu-law", "-b", "8"}},       {"au", {"-e", "a-law", "-b", "8"}},
      {"au", {"-e", "signed-integer", "-b", "8"}}, {"au", {"-e", "signed-integer", "-b", "16"}},
      {"aiff", {"-e", "signed-integer", "-b", "8"}}, {"aiff", {"-e", "signed-integer", "-b", "16"}},
  };
  for (const LCase& c : cases) {
    for (int channels : {1, 2, 3}) {
      SCOPED_TRACE(c.extension + " " + c.encoding[1] + " " + c.encoding[3] + ", channels " + std::to_string(channels));
      const std::string path = TestPath("sox." + c.extension);
      std::vector<std::string> argv = {"sox", "-V1", "-D", "-n"};
      argv.insert(argv.end(), c.encoding.begin(), c.encoding.end());
      argv.insert(argv.end(), {"-c", std::to_string(channels), "-r", "11025", path, "synth", "0.37", "whitenoise"});
      RunTool(argv);
      LRef<LSoundStream> stream = c.extension == "au" ? OpenAuFile(path) : OpenAiffFile(path);
      ASSERT_TRUE(stream->Usable()) << static_cast<int>(stream->State());
      EXPECT_EQ(stream->SampleRate(), std::stoi(RunTool({"soxi", "-r", path})));
      EXPECT_EQ(stream->Channels(), channels);
      EXPECT_EQ(stream->Length(), std::stoi(RunTool({"soxi", "-s", path})));
      std::vector<int32_t> expected;
      for (int16_t s : SoxSamples16(path)) expected.push_back(s * 16);
      EXPECT_EQ(ReadFrames(*stream, stream->Length()), expected);
      if (c.extension != "aiff") continue;

      // The same sound with its chunks in other orders, other chunks between and around them,
      // and padding before the first frame: read as sox reads it.
      const std::map<std::string, std::string> chunks = AiffChunks(test::ReadBytes(path));
      ASSERT_EQ(chunks.count("COMM") + chunks.count("SSND"), 2u);
      const std::string comm = Chunk("COMM", chunks.at("COMM"));
      const std::string data = chunks.at("SSND").substr(8);
      const std::string name = Chunk("NAME", "odd");
      const std::string anno = Chunk("ANNO", "an annotation");
      for (const std::string& chunkList :
           {PaddedSsnd(data, 0) + comm, name + PaddedSsnd(data, 0) + anno + comm + name,
            comm + PaddedSsnd(data, 7), anno + PaddedSsnd(data, 64) + name + comm + anno}) {
        const std::string moved = TestPath("moved.aiff");
        test::WriteBytes(moved, Aiff(chunkList));
        LRef<LSoundStream> again = OpenAiffFile(moved);
        ASSERT_TRUE(again->Usable()) << static_cast<int>(again->State());
        EXPECT_EQ(again->SampleRate(), stream->SampleRate());
        EXPECT_EQ(again->Channels(), channels);
        EXPECT_EQ(again->Length(), std::stoi(RunTool({"soxi", "-s", moved})));
        std::vector<int32_t> soxRead;
        for (int16_t s : SoxSamples16(moved)) soxRead.push_back(s * 16);
        EXPECT_EQ(soxRead, expected);
        EXPECT_EQ(ReadFrames(*again, again->Length()), soxRead);
      }
    }
  }
  // 24-bit AIFF and float AU are refused as unsupported codecs.
  const std::string wide = TestPath("wide.aiff");
  RunTool({"sox", "-V1", "-n", "-b", "24", "-r", "8000", wide, "synth", "0.1", "sine", "300"});
  EXPECT_EQ(OpenAiffFile(wide)->State(), LStreamState::kCodecMissing);
  const std::string real = TestPath("float.au");
  RunTool({"sox", "-V1", "-n", "-e", "floating-point", "-b", "32", "-r", "8000", real, "synth", "0.1", "sine", "300"});
  EXPECT_EQ(OpenAuFile(real)->State(), LStreamState::kCodecMissing);
}

TEST(AuAiffTest, SoxReadsWhatTheSinksWrite) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  for (const std::string extension : {"au", "aiff"}) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE(extension + ", channels " + std::to_string(channels));
      const int frames = 9001;
      std::vector<int32_t> samples;
      for (int i = 0; i < frames * channels; ++i) samples.push_back((i * 7919 % 1048543) - 524271);
      const std::string path = TestPath("ours." + extension);
      {
        LRef<LSoundSink> sink = extension == "au" ? CreateAuFile(path, 22050, channels) : CreateAiffFile(path, 22050, channels);
        ASSERT_FALSE(sink->Failed());
        sink->Write(samples.data(), 4000);
        sink->Write(samples.data() + 4000 * channels, frames - 4000);
        sink->Finish();
        ASSERT_FALSE(sink->Failed());
      }
      EXPECT_EQ(RunTool({"soxi", "-r", path}), "22050\n");
      EXPECT_EQ(std::stoi(RunTool({"soxi", "-c", path})), channels);
      EXPECT_EQ(std::stoi(RunTool({"soxi", "-s", path})), frames);
      std::vector<int16_t> expected;
      for (int32_t v : samples) expected.push_back(static_cast<int16_t>((static_cast<uint32_t>(v) + 8) >> 4));
      EXPECT_EQ(SoxSamples16(path), expected);
      // And back.
      LRef<LSoundStream> stream = extension == "au" ? OpenAuFile(path) : OpenAiffFile(path);
      EXPECT_EQ(stream->Length(), frames);
    }
  }
}

TEST(AuAiffTest, HeaderLayouts) {
  const std::string au = TestPath("layout.au");
  {
    LRef<LSoundSink> sink = CreateAuFile(au, 8000, 2);
    std::vector<int32_t> samples = {16, -16, 32, -32};
    sink->Write(samples.data(), 2);
    // While writing the size is unknown, so a reader takes everything.
    EXPECT_EQ(test::ReadBytes(au).substr(0, 24), AuHeader(24, 0xFFFFFFFF, 3, 8000, 2));
  }
  EXPECT_EQ(test::ReadBytes(au), AuHeader(24, 8, 3, 8000, 2) + Be16(1) + Be16(0xFFFF) + Be16(2) + Be16(0xFFFE));

  const std::string aiff = TestPath("layout.aiff");
  {
    LRef<LSoundSink> sink = CreateAiffFile(aiff, 44100, 1);
    EXPECT_EQ(test::ReadBytes(aiff).substr(42, 4), Be32(0xFFFFFFFF));
    std::vector<int32_t> samples = {16, 32, 48};
    sink->Write(samples.data(), 3);
  }
  const std::string bytes = test::ReadBytes(aiff);
  EXPECT_EQ(bytes, "FORM" + Be32(52) + "AIFF" + "COMM" + Be32(18) + Be16(1) + Be32(3) + Be16(16) +
                       std::string("\x40\x0E\xAC\x44\0\0\0\0\0\0", 10) + "SSND" + Be32(14) + Be32(0) + Be32(0) +
                       Be16(1) + Be16(2) + Be16(3));

  // Rates as the 80-bit value: written and read back, rounding by the last bit shifted out.
  for (uint32_t rate : {6000u, 8000u, 11025u, 22050u, 44100u, 48000u, 96000u, 196000u}) {
    EXPECT_EQ(RateFromExtended(ExtendedFromRate(rate)), static_cast<int32_t>(rate)) << rate;
  }
  const std::array<uint8_t, 10> odd = {0x40, 0x0E, 0xAC, 0x44, 0x80, 0, 0, 0, 0, 0};  // 44100.5
  EXPECT_EQ(RateFromExtended(odd), 44101);
  EXPECT_EQ(RateFromExtended({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(RateFromExtended({0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}), std::nullopt);  // infinity
  EXPECT_EQ(RateFromExtended({0x40, 0x1E, 0x80, 0, 0, 0, 0, 0, 0, 0}), std::nullopt);  // 2^31
}

TEST(AuAiffTest, BrokenAndUnsupportedHeaders) {
  const std::string data(64, '\x10');
  auto state = [](const LRef<LSoundStream>& s) { return s->State(); };
  // ".au"
  EXPECT_EQ(state(OpenImage(AuHeader(24, 64, 3, 8000, 1).substr(0, 23), "au")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage("", "au")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage("snd." + AuHeader(24, 64, 3, 8000, 1).substr(4) + data, "au")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(AuHeader(24, 64, 6, 8000, 1) + data, "au")), LStreamState::kCodecMissing);
  EXPECT_EQ(state(OpenImage(AuHeader(24, 64, 3, 8000, 0) + data, "au")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(AuHeader(24, 64, 3, 8000, 65535) + data, "au")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(AuHeader(24, 64, 3, 0, 1) + data, "au")), LStreamState::kCorrupt);
  EXPECT_EQ(OpenAuFile(TestPath("missing.au"))->State(), LStreamState::kCannotOpen);
  EXPECT_EQ(OpenAuFile(test::TempDir())->State(), LStreamState::kCannotOpen);
  LRef<LSoundStream> stream = OpenImage(AuHeader(24, 64, 2, 8000, 1) + data, "au");  // 8-bit
  EXPECT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 64);
  // Unknown size: up to the end of the file (an odd byte is not a whole 16-bit frame).
  stream = OpenImage(AuHeader(24, 0xFFFFFFFF, 3, 8000, 1) + data + "x", "au");
  EXPECT_EQ(stream->Length(), 32);
  // A data offset beyond the file: nothing to read.
  stream = OpenImage(AuHeader(0x7FFFFFF0, 0xFFFFFFFF, 3, 8000, 1) + data, "au");
  EXPECT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 0);
  stream = OpenImage(AuHeader(0xFFFFFFFF, 100, 1, 8000, 2) + data, "au");
  EXPECT_EQ(stream->Length(), 0);
  std::vector<int32_t> samples = ReadFrames(*stream, 60);
  EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](int32_t s) { return s == 0; }));
  // A size larger than the file: only the frames that are there, silence after them.
  stream = OpenImage(AuHeader(24, 0xFFFFFFF0, 3, 8000, 1) + data, "au");
  EXPECT_EQ(stream->Length(), 32);
  samples = ReadFrames(*stream, 40);
  EXPECT_EQ(samples[31], 0x1010 * 16);
  EXPECT_EQ(samples[32], 0);

  // AIFF
  const std::string comm = Comm(1, 32, 16, Extended(8000));
  EXPECT_TRUE(OpenImage(Aiff(comm + Ssnd(data)), "aiff")->Usable());
  EXPECT_EQ(state(OpenImage(Aiff(comm + Ssnd(data), "AIFC"), "aiff")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(Aiff(comm + Ssnd(data)).substr(0, 11), "aiff")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(Aiff(comm), "aiff")), LStreamState::kCorrupt);           // no SSND
  EXPECT_EQ(state(OpenImage(Aiff(comm.substr(0, 20)), "aiff")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(Aiff("COMM" + Be32(17) + comm.substr(8, 17) + "x" + Ssnd(data)), "aiff")),
            LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(Aiff("JUNK" + Be32(0x80000000) + comm + Ssnd(data)), "aiff")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(Aiff(Comm(1, 32, 24, Extended(8000)) + Ssnd(data)), "aiff")), LStreamState::kCodecMissing);
  EXPECT_EQ(state(OpenImage(Aiff(Comm(0, 32, 16, Extended(8000)) + Ssnd(data)), "aiff")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(Aiff(Comm(65535, 32, 16, Extended(8000)) + Ssnd(data)), "aiff")), LStreamState::kCorrupt);
  EXPECT_EQ(state(OpenImage(Aiff(Comm(1, 32, 16, std::string(10, '\0')) + Ssnd(data)), "aiff")), LStreamState::kCorrupt);
  const std::string infinity("\x7F\xFF\x80\0\0\0\0\0\0\0", 10);
  EXPECT_EQ(state(OpenImage(Aiff(Comm(1, 32, 16, infinity) + Ssnd(data)), "aiff")), LStreamState::kCorrupt);
  // Chunks before and between are skipped (odd sizes padded); an SSND size below 8 is empty.
  stream = OpenImage(Aiff("NAME" + Be32(3) + "abc" + std::string(1, '\0') + comm + "ANNO" + Be32(1) + "z" +
                          std::string(1, '\0') + Ssnd(data)), "aiff");
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 32);
  EXPECT_EQ(ReadFrames(*stream, 1)[0], 0x1010 * 16);
  stream = OpenImage(Aiff(comm + "SSND" + Be32(4) + Be32(0) + Be32(0) + data), "aiff");
  EXPECT_EQ(stream->Length(), 0);
  // SSND before COMM; a second SSND after COMM is the one read. An offset beyond the chunk
  // leaves nothing to read.
  stream = OpenImage(Aiff(Ssnd(std::string(8, '\x20')) + comm), "aiff");
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(ReadFrames(*stream, 5), (std::vector<int32_t>{0x2020 * 16, 0x2020 * 16, 0x2020 * 16, 0x2020 * 16, 0}));
  stream = OpenImage(Aiff(Ssnd(std::string(8, '\x20')) + comm + Ssnd(data)), "aiff");
  EXPECT_EQ(stream->Length(), 32);
  EXPECT_EQ(ReadFrames(*stream, 1)[0], 0x1010 * 16);
  for (uint32_t padding : {72u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    stream = OpenImage(Aiff(comm + "SSND" + Be32(72) + Be32(padding) + Be32(0) + data), "aiff");
    EXPECT_TRUE(stream->Usable());
    EXPECT_EQ(stream->Length(), 0) << padding;
    EXPECT_EQ(ReadFrames(*stream, 3), std::vector<int32_t>(3, 0));
  }
  stream = OpenImage(Aiff(Comm(2, 0, 8, Extended(11025)) + Ssnd(data)), "aiff");
  EXPECT_EQ(stream->Channels(), 2);
  EXPECT_EQ(stream->SampleRate(), 11025);
  EXPECT_EQ(stream->Length(), 32);
  EXPECT_EQ(OpenAiffFile(TestPath("missing.aiff"))->State(), LStreamState::kCannotOpen);
}

}  // namespace
}  // namespace klangor
