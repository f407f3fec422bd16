// Damaged files of the native formats (WAV, AU, AIFF, GSM, VOX, G.711): whatever the bytes,
// opening and reading end in a state or in samples, never in a crash, a hang or a huge
// allocation (also run under the sanitizers).

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "formats/aiff_file.h"
#include "formats/au_file.h"
#include "formats/gsm_file.h"
#include "formats/raw_format.h"
#include "formats/vox.h"
#include "formats/wav_file.h"
#include "native_test_files.h"

namespace klangor {
namespace {

using namespace nativetest;  // NOLINT: test helpers
using namespace wavtest;    // NOLINT: test helpers

using LOpener = std::function<LRef<LSoundStream>(const std::string&)>;

// Reads a bounded part of the stream in random pieces, around a random seek and at the end.
// A damaged size can claim billions of frames: at most `budget` of them are read.
void OpenAndRead(const LOpener& open, const std::string& path, std::mt19937& random, int32_t budget = 6000) {
  LRef<LSoundStream> stream = open(path);
  ASSERT_TRUE(stream);
  if (!stream->Usable()) {
    EXPECT_EQ(stream->Length(), 0);
    return;
  }
  ASSERT_GE(stream->Channels(), 1);
  const int32_t length = stream->Length();
  ASSERT_GE(length, 0);
  std::vector<int32_t> buffer;
  auto readSome = [&](int32_t frames) {
    buffer.assign(static_cast<size_t>(frames) * stream->Channels() + 1, 0x5A5A5A5A);
    const int32_t before = stream->Position();
    stream->Read(buffer.data(), frames);
    ASSERT_EQ(stream->Position(), before + frames);
    ASSERT_EQ(buffer.back(), 0x5A5A5A5A) << "wrote past the requested frames";
  };
  while (stream->Position() < std::min(length, budget) + 10) {
    readSome(std::uniform_int_distribution<int32_t>(1, 3000)(random));
  }
  stream->Seek(std::max(length - 500, 0));
  readSome(510);
  stream->Seek(std::uniform_int_distribution<int32_t>(-100, std::max(length, 0))(random));
  readSome(333);
}

void Damage(std::string& bytes, std::mt19937& random, size_t headerBytes) {
  const int kind = std::uniform_int_distribution<int>(0, 3)(random);
  if (kind == 3) {
    bytes.resize(std::uniform_int_distribution<size_t>(0, bytes.size())(random));
    return;
  }
  const int changes = std::uniform_int_distribution<int>(1, 6)(random);
  for (int i = 0; i < changes && !bytes.empty(); ++i) {
    const size_t limit = kind == 0 ? bytes.size() : std::min(bytes.size(), headerBytes);
    const size_t at = std::uniform_int_distribution<size_t>(0, limit - 1)(random);
    static const uint8_t kNasty[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0xFE};
    bytes[at] = static_cast<char>(std::uniform_int_distribution<int>(0, 1)(random) == 0 ? kNasty[random() % sizeof kNasty]
                                                                                      : static_cast<uint8_t>(random()));
  }
}

// A small valid WAVE file with chunks before and after "fmt ", damaged mostly in the headers
// where the parser looks.
TEST(WaveRobustness, CorruptedAndTruncatedFiles) {
  std::string data;
  for (int i = 0; i < 300; ++i) data += Le16(static_cast<uint32_t>(i * 211)) + Le16(static_cast<uint32_t>(-i * 97));
  const std::string original =
      RiffWave(Chunk("LIST", "INFOINAM" + Le32(3) + "abc") + Chunk("fmt ", FmtBody(1, 2, 44100, 16, 4, true, "xy")) +
               Chunk("fact", Le32(300)) + Chunk("data", data) + Chunk("id3 ", "tail"));
  const std::string path = TestPath("damaged.wav");
  test::WriteBytes(path, original);
  ASSERT_TRUE(OpenWaveFile(path)->Usable());
  std::mt19937 random(20240611);
  int usable = 0;
  for (int round = 0; round < 600; ++round) {
    std::string bytes = original;
    Damage(bytes, random, 96);
    test::WriteBytes(path, bytes);
    OpenAndRead(OpenWaveFile, path, random, 20000);
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
  test::WriteBytes(TestPath("tiny.wav"), bytes);
  EXPECT_EQ(OpenWaveFile(TestPath("tiny.wav"))->State(), LStreamState::kCorrupt);

  // The same before the RIFF form: chunks of 6 bytes (the smallest the search accepts).
  std::string prefix;
  for (int i = 0; i < 1'000'000; ++i) prefix += RawChunk("JUNK", 6, "123456");
  test::WriteBytes(TestPath("tinyprefix.wav"), prefix + PcmWave(1, 8000, 16, S16Data({1, 2, 3})));
  LRef<LSoundStream> stream = OpenWaveFile(TestPath("tinyprefix.wav"));
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(ReadFrames(*stream, 3), (std::vector<int32_t>{16, 32, 48}));
}

TEST(NativeRobustness, DamagedCopiesOfRealFiles) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  struct LCase {
    std::string name;
    std::vector<std::string> soxOutput;
    LOpener open;
    size_t headerBytes;
  };
  const std::vector<LCase> cases = {
      {"r.au", {"-e", "signed-integer", "-b", "16", "-c", "2"}, OpenAuFile, 24},
      {"r.aiff", {"-b", "16", "-c", "2"}, OpenAiffFile, 80},
      {"r.gsm", {"-t", "gsm"}, OpenGsmFile, 2000},
      {"r.vox", {"-t", "vox"}, [](const std::string& p) { return OpenRawFile({8000, 1, 0}, p); }, 2000},
      {"r.ul", {"-t", "ul", "-c", "2"}, [](const std::string& p) { return OpenRawFile({8000, 2, 1}, p); }, 2000},
  };
  std::mt19937 random(4711);
  for (const LCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string original = TestPath(c.name);
    std::vector<std::string> argv = {"sox", "-V1", "-R", "-n", "-r", "8000"};
    argv.insert(argv.end(), c.soxOutput.begin(), c.soxOutput.end());
    argv.insert(argv.end(), {original, "synth", "0.4", "sine", "300-3000", "whitenoise", "vol", "0.8"});
    RunTool(argv);
    const std::string bytes = test::ReadBytes(original);
    ASSERT_TRUE(c.open(original)->Usable());
    const std::string path = TestPath("damaged-" + c.name);
    for (int round = 0; round < 150; ++round) {
      std::string damaged = bytes;
      Damage(damaged, random, c.headerBytes);
      test::WriteBytes(path, damaged);
      OpenAndRead(c.open, path, random);
      if (HasFatalFailure()) return;
    }
  }
}

// Every 33-byte pattern decodes without fault: random frames, all-ones and all-zeros frames.
TEST(NativeRobustness, GsmDecoderTakesAnyBits) {
  std::mt19937 random(5);
  std::string bytes(33 * 300, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  bytes.replace(0, 33, std::string(33, '\xFF'));
  bytes.replace(33, 33, std::string(33, '\0'));
  const std::string path = TestPath("noise.gsm");
  test::WriteBytes(path, bytes);
  LRef<LSoundStream> stream = OpenGsmFile(path);
  EXPECT_EQ(stream->Length(), 300 * 160);
  std::vector<int32_t> samples = ReadFrames(*stream, stream->Length());
  // De-emphasis bounds the output: at most 32768 x 32 / (1 - 880/1024) and a little.
  for (int32_t s : samples) ASSERT_LE(std::abs(s), 7500000);
}

}  // namespace
}  // namespace klangor
