// Damaged files: whatever the bytes, opening and reading end in a state or in samples,
// never in a crash, a hang or a huge allocation (this test also runs under the sanitizers).

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "formats/wav_file.h"
#include "wav_test_files.h"

namespace klangor {
namespace {

using namespace wavtest;  // NOLINT: test helpers

// A small valid file with chunks before and after "fmt ".
std::string SampleFile() {
  std::string data;
  for (int i = 0; i < 300; ++i) data += Le16(static_cast<uint32_t>(i * 211)) + Le16(static_cast<uint32_t>(-i * 97));
  return RiffWave(Chunk("LIST", "INFOINAM" + Le32(3) + "abc") +
                  Chunk("fmt ", FmtBody(1, 2, 44100, 16, 4, true, "xy")) + Chunk("fact", Le32(300)) +
                  Chunk("data", data) + Chunk("id3 ", "tail"));
}

// Opens the image and reads it: the start in random pieces, a stretch at the end, and a
// stretch around a random seek.
void OpenAndRead(const std::string& path, std::mt19937& random) {
  LRef<LSoundStream> stream = OpenWaveFile(path);
  ASSERT_TRUE(stream);
  std::vector<int32_t> buffer;
  if (!stream->Usable()) {
    EXPECT_EQ(stream->Length(), 0);
    return;
  }
  ASSERT_GE(stream->Channels(), 1);
  ASSERT_GE(stream->Length(), 0);
  const int32_t length = stream->Length();
  auto readSome = [&](int32_t frames) {
    buffer.assign(static_cast<size_t>(frames) * stream->Channels() + 1, 0x5A5A5A5A);
    int32_t before = stream->Position();
    stream->Read(buffer.data(), frames);
    ASSERT_EQ(stream->Position(), before + frames);
    ASSERT_EQ(buffer.back(), 0x5A5A5A5A) << "wrote past the requested frames";
  };
  // A corrupted size can claim billions of frames: read a bounded part of them.
  int32_t budget = std::min(length, 20000) + 10;
  while (stream->Position() < budget) {
    readSome(std::uniform_int_distribution<int32_t>(1, 9000)(random));
  }
  stream->Seek(std::max(length - 5000, 0));
  readSome(5010);
  stream->Seek(std::uniform_int_distribution<int32_t>(-100, std::max(length, 0))(random));
  readSome(100);
}

TEST(WaveRobustness, CorruptedAndTruncatedFiles) {
  const std::string original = SampleFile();
  WriteBytes(TestPath("valid.wav"), original);
  ASSERT_TRUE(OpenWaveFile(TestPath("valid.wav"))->Usable());
  std::mt19937 random(20240611);
  const std::string path = TestPath("damaged.wav");
  int usable = 0;
  for (int round = 0; round < 600; ++round) {
    std::string bytes = original;
    int damage = std::uniform_int_distribution<int>(0, 3)(random);
    if (damage != 3) {
      // Mostly the header and chunk headers, where the parser looks.
      int changes = std::uniform_int_distribution<int>(1, 6)(random);
      for (int i = 0; i < changes; ++i) {
        size_t limit = std::uniform_int_distribution<int>(0, 3)(random) == 0 ? bytes.size() : 96;
        size_t at = std::uniform_int_distribution<size_t>(0, limit - 1)(random);
        static const uint8_t kNasty[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0xFE};
        bytes[at] = static_cast<char>(std::uniform_int_distribution<int>(0, 1)(random) == 0
                                          ? kNasty[random() % sizeof kNasty]
                                          : static_cast<uint8_t>(random()));
      }
    }
    if (damage >= 2) bytes.resize(std::uniform_int_distribution<size_t>(0, bytes.size())(random));
    WriteBytes(path, bytes);
    OpenAndRead(path, random);
    if (HasFatalFailure()) FAIL() << "round " << round;
    usable += OpenWaveFile(path)->Usable() ? 1 : 0;
  }
  // The damage must have reached both outcomes, or the test tested little.
  EXPECT_GT(usable, 50);
  EXPECT_LT(usable, 550);
}

TEST(WaveRobustness, FileOfTinyChunksEndsQuickly) {
  // Millions of empty chunks in front of nothing: the walk visits each once and stops at the end.
  std::string bytes = "RIFF" + Le32(0xFFFFFFFFu) + "WAVE";
  std::string empty = RawChunk("JUNK", 0, "");
  bytes.reserve(bytes.size() + empty.size() * 2'000'000);
  for (int i = 0; i < 2'000'000; ++i) bytes += empty;
  WriteBytes(TestPath("tiny.wav"), bytes);
  EXPECT_EQ(OpenWaveFile(TestPath("tiny.wav"))->State(), LStreamState::kCorrupt);

  // The same before the RIFF form: chunks of 6 bytes (the smallest the search accepts).
  std::string prefix;
  for (int i = 0; i < 1'000'000; ++i) prefix += RawChunk("JUNK", 6, "123456");
  WriteBytes(TestPath("tinyprefix.wav"), prefix + PcmWave(1, 8000, 16, S16Data({1, 2, 3})));
  LRef<LSoundStream> stream = OpenWaveFile(TestPath("tinyprefix.wav"));
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(ReadFrames(*stream, 3), (std::vector<int32_t>{16, 32, 48}));
}

}  // namespace
}  // namespace klangor
