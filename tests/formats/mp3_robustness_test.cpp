// Damaged and odd MP3 files: a clear state or silence after the damage, never a crash or an
// endless loop; frame counts that cannot be true are not believed. The fuzz test runs thousands
// of randomly damaged copies of real files through every operation of the stream.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "formats/mp3_header.h"
#include "formats/mp3_stream.h"
#include "mp3_test_files.h"

namespace klangor {
namespace {

using namespace mp3test;  // NOLINT: test helpers

constexpr int kStereoFrame = 1152 * 2;

LRef<LMp3Stream> Open(const std::string& bytes, const std::string& name) {
  const std::string path = TestPath(name);
  test::WriteBytes(path, bytes);
  return LRef<LMp3Stream>(new LMp3Stream(path));
}

std::vector<int32_t> ReadAll(LSoundStream& stream) {
  stream.Seek(0);
  return ReadToEnd(stream);
}

// The offsets of the frames of a well-formed file, walking from frame to frame.
std::vector<size_t> FrameOffsets(const std::string& bytes) {
  std::vector<size_t> offsets;
  size_t at = 0;
  while (at + 4 <= bytes.size()) {
    std::optional<LMp3Header> header = ParseMp3Header(reinterpret_cast<const uint8_t*>(bytes.data() + at));
    if (!header) break;
    offsets.push_back(at);
    at += static_cast<size_t>(header->FrameBytes());
  }
  return offsets;
}

// Writes `value` into `count` bits of `bytes` starting at bit `bit` (most significant first).
void PutBits(std::string& bytes, size_t bit, int count, uint32_t value) {
  for (int i = 0; i < count; ++i, ++bit) {
    const auto mask = static_cast<char>(0x80 >> (bit % 8));
    if ((value >> (count - 1 - i)) & 1) {
      bytes[bit / 8] = static_cast<char>(bytes[bit / 8] | mask);
    } else {
      bytes[bit / 8] = static_cast<char>(bytes[bit / 8] & ~mask);
    }
  }
}

// MPEG-1 Layer III, 44100 Hz, 128 kbit/s, stereo, no CRC: 417-byte frames.
const std::string kHeader128 = std::string("\xFF\xFB\x90\x00", 4);

std::string BigEndian(uint32_t value) {
  std::string bytes;
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xFF);
  return bytes;
}

// A Xing (or VBRI) frame with `count` followed by `frames` frames whose side information is
// all zero (they decode to silence).
std::string XingFile(uint32_t count, int frames, bool vbri = false) {
  std::string xing = kHeader128 + std::string(32, '\0');
  if (vbri) {
    xing += "VBRI" + std::string(6, '\1') + BigEndian(12345) + BigEndian(count);
  } else {
    xing += "Xing" + BigEndian(1) + BigEndian(count);
  }
  xing.resize(417, '\0');
  std::string silent = kHeader128;
  silent.resize(417, '\0');
  std::string file = xing;
  for (int i = 0; i < frames; ++i) file += silent;
  return file;
}

class Mp3RobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveEncoderAndReference()) GTEST_SKIP() << "lame and mpg123 are needed";
  }
};

TEST(Mp3StateTest, FilesWithoutAStreamAreRefused) {
  LRef<LSoundStream> missing = OpenMp3File(TestPath("no-such-file.mp3"));
  EXPECT_EQ(missing->State(), LStreamState::kCannotOpen);
  EXPECT_EQ(missing->Length(), 0);

  std::mt19937 random(9);
  std::string garbage(200000, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  const std::vector<std::pair<std::string, std::string>> files = {
      {"empty", ""},
      {"short", std::string("\xFF\xFB\x90", 3)},
      {"garbage", garbage},
      {"all-ff", std::string(100000, '\xFF')},
      {"text", std::string(50000, 'x')},
      {"one-header-then-garbage", kHeader128 + garbage.substr(0, 20000)},
  };
  for (const auto& [name, bytes] : files) {
    LRef<LMp3Stream> stream = Open(bytes, name + ".mp3");
    EXPECT_EQ(stream->State(), LStreamState::kCorrupt) << name;
    EXPECT_EQ(stream->Length(), 0) << name;
    std::vector<int32_t> samples(2000, 5);
    stream->Read(samples.data(), 1000);
    stream->Seek(300);
    stream->Read(samples.data(), 1000);
    EXPECT_TRUE(std::all_of(samples.begin(), samples.begin() + 1000, [](int32_t v) { return v == 0; })) << name;
  }
}

TEST(Mp3StateTest, FrameCountsAreBelievedOnlyWhenTheFileCanHoldThem) {
  // A Xing frame count of 1000 at 44100 Hz MPEG-1 gives a length of 1152000.
  LRef<LMp3Stream> thousand = Open(XingFile(1000, 1000), "xing1000.mp3");
  ASSERT_TRUE(thousand->Usable());
  EXPECT_TRUE(thousand->LengthFromFrameCount());
  EXPECT_EQ(thousand->Length(), 1152000);
  EXPECT_EQ(thousand->SampleRate(), 44100);
  EXPECT_EQ(thousand->Channels(), 2);
  LRef<LMp3Stream> vbri = Open(XingFile(300, 300, true), "vbri.mp3");
  EXPECT_TRUE(vbri->LengthFromFrameCount());
  EXPECT_EQ(vbri->Length(), 300 * 1152);

  // 0 and 4 billion cannot be true: the length is estimated from the bytes instead and ends up
  // as what the frames hold.
  for (uint32_t count : {0u, 4000000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(count);
    LRef<LMp3Stream> stream = Open(XingFile(count, 200), "xing-bad.mp3");
    ASSERT_TRUE(stream->Usable());
    EXPECT_FALSE(stream->LengthFromFrameCount());
    EXPECT_NEAR(stream->Length(), 200 * 1152, 1152);
    const std::vector<int32_t> samples = ReadToEnd(*stream);
    EXPECT_EQ(stream->Length(), 200 * 1152);
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](int32_t v) { return v == 0; }));
  }
  // A count larger than the frames present: the stream ends where the frames end.
  LRef<LMp3Stream> fewer = Open(XingFile(50, 20), "xing-more.mp3");
  EXPECT_EQ(fewer->Length(), 50 * 1152);
  ReadToEnd(*fewer);
  EXPECT_EQ(fewer->Length(), 20 * 1152);
}

TEST_F(Mp3RobustnessTest, DamageInsideTheStreamSilencesOnlyWhatIsDamaged) {
  const std::string mp3 = Encode("damage", LSignal::kMusic, 44100, 2, 2.0, {"-b", "128", "-t"});
  const std::string original = test::ReadBytes(mp3);
  const std::vector<size_t> frames = FrameOffsets(original);
  ASSERT_GT(frames.size(), 60u);
  const std::vector<int32_t> clean = ReadAll(*Open(original, "clean.mp3"));

  struct LDamage {
    const char* name;
    size_t frame;
    std::function<void(std::string&, size_t)> apply;
  };
  const std::vector<LDamage> damages = {
      // main_data_begin reaching back past the start of the stream, or far back into it.
      {"main data before the stream", 0, [](std::string& b, size_t at) { PutBits(b, at * 8 + 32, 9, 300); }},
      {"main data pointer wrong", 30, [](std::string& b, size_t at) { PutBits(b, at * 8 + 32, 9, 511); }},
      // part2_3_length of granule 0, channel 0 far too short: the codes run past the granule.
      {"codes past the granule", 30, [](std::string& b, size_t at) { PutBits(b, at * 8 + 32 + 20, 12, 40); }},
      // big_values above 288: the side information is unusable.
      {"big values too big", 30, [](std::string& b, size_t at) { PutBits(b, at * 8 + 32 + 32, 9, 500); }},
      // A frame's bytes overwritten.
      {"frame overwritten", 30, [](std::string& b, size_t at) { std::fill_n(b.begin() + at + 40, 300, '\x5A'); }},
  };
  for (const LDamage& damage : damages) {
    SCOPED_TRACE(damage.name);
    std::string bytes = original;
    damage.apply(bytes, frames[damage.frame]);
    LRef<LMp3Stream> stream = Open(bytes, "damaged.mp3");
    ASSERT_TRUE(stream->Usable());
    const std::vector<int32_t> decoded = ReadAll(*stream);
    ASSERT_EQ(decoded.size(), clean.size());
    // Up to the damaged frame the samples are the clean ones; a few frames later again.
    const size_t before = damage.frame * kStereoFrame;
    EXPECT_TRUE(std::equal(decoded.begin(), decoded.begin() + static_cast<ptrdiff_t>(before), clean.begin()));
    const size_t after = (damage.frame + 4) * kStereoFrame;
    EXPECT_TRUE(std::equal(decoded.begin() + static_cast<ptrdiff_t>(after), decoded.end(),
                           clean.begin() + static_cast<ptrdiff_t>(after)));
    if (damage.frame == 0) {  // nothing to decode the first frame from: silence
      EXPECT_TRUE(std::all_of(decoded.begin(), decoded.begin() + kStereoFrame, [](int32_t v) { return v == 0; }));
    }
  }

  // Cut inside the last frame: the frames before it are intact, the cut one is not noise.
  const std::string cut = original.substr(0, frames[50] + 200);
  LRef<LMp3Stream> truncated = Open(cut, "truncated.mp3");
  const std::vector<int32_t> head = ReadAll(*truncated);
  ASSERT_GE(head.size(), 50u * kStereoFrame);
  EXPECT_TRUE(std::equal(head.begin(), head.begin() + 49 * kStereoFrame, clean.begin()));
  EXPECT_EQ(truncated->Length(), static_cast<int32_t>(head.size() / 2));
}

TEST_F(Mp3RobustnessTest, LeadingTagsAndOtherStreams) {
  const std::string mp3 = Encode("tagged", LSignal::kMusic, 44100, 2, 1.5, {"-b", "128"});
  const std::string original = test::ReadBytes(mp3);
  const std::vector<int32_t> clean = ReadAll(*Open(original, "untagged.mp3"));

  // An ID3v2 tag of a few kilobytes, with bytes in it that look like a frame header: skipped.
  std::string tag = std::string("ID3\x03\x00\x00\x00\x00\x10\x00", 10) + std::string(2038, '\0');
  for (size_t i = 100; i + 4 < tag.size(); i += 97) tag.replace(i, 4, kHeader128);
  LRef<LMp3Stream> tagged = Open(tag + original, "id3v2.mp3");
  ASSERT_TRUE(tagged->Usable());
  EXPECT_EQ(ReadAll(*tagged), clean);

  // A tag with a cover picture, far longer than a header search may skip, and a second tag
  // (with a footer) after it: both stepped over by their stated sizes.
  std::mt19937 random(4);
  std::string picture(300000, '\0');
  for (char& c : picture) c = static_cast<char>(random());
  const auto syncsafe = [](size_t n) {
    return std::string{static_cast<char>((n >> 21) & 0x7F), static_cast<char>((n >> 14) & 0x7F),
                       static_cast<char>((n >> 7) & 0x7F), static_cast<char>(n & 0x7F)};
  };
  const std::string bigTag = std::string("ID3\x04\x00\x00", 6) + syncsafe(picture.size()) + picture;
  const std::string footerTag = std::string("ID3\x04\x00\x10", 6) + syncsafe(50) + std::string(50, '\0') +
                                std::string("3DI\x04\x00\x10", 6) + syncsafe(50);
  LRef<LMp3Stream> pictured = Open(bigTag + footerTag + original, "id3v2-big.mp3");
  ASSERT_TRUE(pictured->Usable());
  EXPECT_EQ(ReadAll(*pictured), clean);

  // A tag whose stated size runs past the end is not believed: the search starts at the file's
  // start as without a tag.
  const std::string lying = std::string("ID3\x04\x00\x00", 6) + syncsafe(200000000) + std::string(100, '\0');
  EXPECT_EQ(ReadAll(*Open(lying + original, "id3v2-lying.mp3")), clean);

  // Garbage longer than the header search may skip, without a tag header: refused.
  std::string big(70000, '\0');
  for (char& c : big) c = static_cast<char>(random() & 0x7F);
  EXPECT_EQ(Open(big + original, "garbage-big.mp3")->State(), LStreamState::kCorrupt);

  // Frames of another stream after the first: decoding ends with the first stream.
  const std::string first = Encode("first", LSignal::kMusic, 44100, 2, 1.0, {"-b", "128", "-t"});
  const std::string second = Encode("second", LSignal::kMusic, 32000, 2, 1.0, {"-b", "128", "-t"});
  const std::string firstBytes = test::ReadBytes(first);
  const auto firstFrames = static_cast<int32_t>(FrameOffsets(firstBytes).size() * 1152);
  LRef<LMp3Stream> joined = Open(firstBytes + test::ReadBytes(second), "joined.mp3");
  ASSERT_TRUE(joined->Usable());
  EXPECT_EQ(joined->SampleRate(), 44100);
  ReadToEnd(*joined);
  EXPECT_EQ(joined->Length(), firstFrames);
}

// Tags at the end (APEv2, Lyrics3 v2, ID3v1, alone and together) are not audio: the estimated
// length leaves them out, and frame headers inside them are not decoded.
TEST_F(Mp3RobustnessTest, TrailingTags) {
  // 32000 Hz frames have no padding, so the estimate from the bytes is exact.
  const std::string mp3 = Encode("trailing", LSignal::kMusic, 32000, 2, 1.5, {"-b", "96", "-t", "--resample", "32"});
  const std::string original = test::ReadBytes(mp3);
  const std::vector<int32_t> clean = ReadAll(*Open(original, "trailing-clean.mp3"));
  const auto frames = static_cast<int32_t>(clean.size() / 2);
  ASSERT_EQ(frames, static_cast<int32_t>(FrameOffsets(original).size() * 1152));

  // Item values with headers of this very stream in them, one near the tag's end.
  const std::string header = original.substr(0, 4);
  std::string value(3000, 'x');
  for (size_t i = 0; i + 4 < value.size(); i += 250) value.replace(i, 4, header);
  const std::string item = test::Le32(static_cast<uint32_t>(value.size())) + test::Le32(0) + "Cover" +
                           std::string(1, '\0') + value;
  const auto apeField = [&](uint32_t flags) {
    return "APETAGEX" + test::Le32(2000) + test::Le32(static_cast<uint32_t>(item.size() + 32)) + test::Le32(1) +
           test::Le32(flags) + std::string(8, '\0');
  };
  const std::string ape = apeField(0xE0000000u) + item + apeField(0x80000000u);
  const std::string apeWithoutHeader = item + apeField(0);
  const std::string lyricsBody = "LYRICSBEGIN" + std::string("LYR00022") + header + "lyrics with a head";
  const std::string lyrics = lyricsBody + std::to_string(1000000 + lyricsBody.size()).substr(1) + "LYRICS200";
  std::string id3v1 = "TAG" + header + "Title";
  id3v1.resize(128, '\0');
  for (const auto& [name, tail] : std::vector<std::pair<const char*, std::string>>{
           {"ape", ape},
           {"ape-v1", apeWithoutHeader},
           {"ape-id3v1", ape + id3v1},
           {"lyrics-id3v1", lyrics + id3v1},
           {"ape-lyrics-id3v1", ape + lyrics + id3v1},
           {"lyrics-ape-id3v1", lyrics + ape + id3v1}}) {
    SCOPED_TRACE(name);
    LRef<LMp3Stream> stream = Open(original + tail, "trailing-tagged.mp3");
    ASSERT_TRUE(stream->Usable());
    EXPECT_EQ(stream->Length(), frames);
    EXPECT_EQ(ReadAll(*stream), clean);
    EXPECT_EQ(stream->Length(), frames);
    // A seek close to the end finds the last frame again.
    stream->Seek(frames - 100);
    std::vector<int32_t> last(200);
    stream->Read(last.data(), 100);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), clean.end() - 200));
  }
  // A footer whose size runs past the start of the file is not believed: those bytes count.
  const std::string lying = item + "APETAGEX" + test::Le32(2000) + test::Le32(0x7FFFFFFF) + test::Le32(1) +
                            test::Le32(0) + std::string(8, '\0');
  LRef<LMp3Stream> stream = Open(original + lying, "trailing-lying.mp3");
  ASSERT_TRUE(stream->Usable());
  EXPECT_GT(stream->Length(), frames);
  const std::vector<int32_t> decoded = ReadAll(*stream);
  ASSERT_GE(decoded.size(), clean.size());
  EXPECT_TRUE(std::equal(clean.begin(), clean.end(), decoded.begin()));
}

// Thousands of damaged copies of short real files of several kinds: every operation finishes
// and the stream stays within its contract.
TEST_F(Mp3RobustnessTest, RandomlyDamagedCopies) {
  const std::vector<std::string> sources = {
      Encode("fuzz-joint", LSignal::kTransients, 44100, 2, 0.4, {"-b", "128"}),
      Encode("fuzz-vbr-lsf", LSignal::kMusic, 22050, 2, 0.6, {"-V", "2"}),
      Encode("fuzz-mono-8000", LSignal::kTransients, 8000, 1, 1.0, {"-b", "16", "-t"}),
      Encode("fuzz-crc-48000", LSignal::kMusic, 48000, 2, 0.4, {"-b", "96", "-p", "-m", "s"}),
  };
  constexpr int kCopiesPerSource = 500;
  std::mt19937 random(2024);
  int opened = 0;
  int copies = 0;
  const auto start = std::chrono::steady_clock::now();
  const std::string path = TestPath("fuzz.mp3");
  for (const std::string& source : sources) {
    const std::string original = test::ReadBytes(source);
    ASSERT_GT(original.size(), 1000u);
    for (int copy = 0; copy < kCopiesPerSource; ++copy, ++copies) {
      std::string bytes = original;
      const int edits = 1 + static_cast<int>(random() % 12);
      for (int e = 0; e < edits && !bytes.empty(); ++e) {
        const size_t at = random() % bytes.size();
        switch (random() % 7) {
          case 0: bytes[at] = static_cast<char>(random()); break;
          case 1: bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8))); break;
          case 2: bytes.erase(at, random() % 400); break;
          case 3: bytes.insert(at, std::string(random() % 64, static_cast<char>(random()))); break;
          case 4: bytes.resize(at); break;
          case 5: bytes.replace(at, std::min<size_t>(bytes.size() - at, 40), std::string(40, '\xFF')); break;
          default: bytes.insert(at, bytes.substr(random() % bytes.size(), random() % 600)); break;
        }
      }
      test::WriteBytes(path, bytes);
      LRef<LSoundStream> stream = OpenMp3File(path);
      ASSERT_TRUE(stream->State() == LStreamState::kOk || stream->State() == LStreamState::kCorrupt);
      if (!stream->Usable()) continue;
      ++opened;
      ASSERT_GE(stream->Length(), 0);
      const int channels = stream->Channels();
      std::vector<int32_t> buffer(5000 * static_cast<size_t>(channels));
      for (int guard = 0; guard < 200 && stream->Position() < stream->Length(); ++guard) {
        stream->Read(buffer.data(), static_cast<int32_t>(1 + random() % 5000));
      }
      for (int seek = 0; seek < 3; ++seek) {
        stream->Seek(static_cast<int32_t>(random() % (static_cast<uint32_t>(stream->Length()) + 2000)) - 1000);
        stream->Read(buffer.data(), 3000);
      }
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("[ fuzz ] %d damaged copies, %d opened, %.1f s\n", copies, opened, seconds);
  EXPECT_GT(opened, copies / 2);
}

}  // namespace
}  // namespace klangor
