// Opening and reading WAVE files from hand-made byte images.

#include "formats/wav_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "wav_test_files.h"

namespace klangor {
namespace {

using namespace wavtest;  // NOLINT: test helpers

LStreamState OpenState(const std::string& name, const std::string& bytes) {
  std::string path = TestPath(name);
  WriteBytes(path, bytes);
  return OpenWaveFile(path)->State();
}

LRef<LSoundStream> OpenImage(const std::string& name, const std::string& bytes) {
  std::string path = TestPath(name);
  WriteBytes(path, bytes);
  return OpenWaveFile(path);
}

// Four stereo 16-bit frames with distinct samples.
const std::vector<int> kFourFrames = {1, -1, 2, -2, 300, -300, 32767, -32768};
std::vector<int32_t> Internal16(const std::vector<int>& samples) {
  std::vector<int32_t> out;
  for (int s : samples) out.push_back(s * 16);
  return out;
}

TEST(WaveOpen, UnopenableFilesGiveState4) {
  EXPECT_EQ(OpenWaveFile(TestPath("missing.wav"))->State(), LStreamState::kCannotOpen);
  EXPECT_EQ(OpenWaveFile(TempDir())->State(), LStreamState::kCannotOpen);
  EXPECT_EQ(OpenWaveFile("")->State(), LStreamState::kCannotOpen);

  // A named pipe without a writer must not block the opener.
  std::string fifo = TestPath("pipe.wav");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(OpenWaveFile(fifo)->State(), LStreamState::kCannotOpen);

  LRef<LSoundStream> failed = OpenWaveFile(TestPath("missing.wav"));
  EXPECT_EQ(failed->Length(), 0);
  EXPECT_EQ(ReadFrames(*failed, 3), std::vector<int32_t>(3, 0));
}

TEST(WaveOpen, UnreadableFileGivesState4) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not apply to root";
  std::string path = TestPath("locked.wav");
  WriteBytes(path, PcmWave(1, 8000, 16, S16Data({1, 2})));
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  EXPECT_EQ(OpenWaveFile(path)->State(), LStreamState::kCannotOpen);
}

TEST(WaveOpen, BrokenHeadersGiveState3) {
  const std::string fmt = PcmFmt(2, 44100, 16);
  const std::string data = Chunk("data", S16Data(kFourFrames));
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"short", "RIFF" + Le32(4)},
      {"no riff", "RIFX" + Le32(40) + "WAVE" + fmt + data},
      {"riff of another form", "RIFF" + Le32(4 + fmt.size() + data.size()) + "AVI " + fmt + data},
      {"prefix chunk of size 4", RawChunk("JUNK", 4, "abcd") + RiffWave(fmt + data)},
      {"prefix chunk of size 3", RawChunk("JUNK", 3, "abcd") + RiffWave(fmt + data)},
      {"prefix chunk of negative size", RawChunk("JUNK", 0xFFFFFFF0u, "abcd") + RiffWave(fmt + data)},
      {"prefix chunk past the end", RawChunk("JUNK", 1000, "abcdefgh")},
      {"no fmt", RiffWave(data)},
      {"no data", RiffWave(fmt)},
      {"data before fmt", RiffWave(data + fmt)},
      {"fmt of 15 bytes", RiffWave(RawChunk("fmt ", 15, FmtBody(1, 2, 44100, 16, 4).substr(0, 15) + '\0') + data)},
      {"fmt of 8193 bytes", RiffWave(RawChunk("fmt ", 8193, FmtBody(1, 2, 44100, 16, 4) + std::string(8175, 'x')) + data)},
      {"fmt of negative size", RiffWave(RawChunk("fmt ", 0x80000010u, FmtBody(1, 2, 44100, 16, 4)) + data)},
      {"fmt cut short", RiffWave(RawChunk("fmt ", 18, FmtBody(1, 2, 44100, 16, 4).substr(0, 10)))},
      {"negative chunk before fmt", RiffWave(RawChunk("LIST", 0x80000000u, "") + fmt + data)},
      {"negative chunk before data", RiffWave(fmt + RawChunk("fact", 0xFFFFFFFEu, Le32(4)) + data)},
      {"chunk running past the end", RiffWave(fmt + RawChunk("LIST", 400, "INFO"))},
      {"0 channels", RiffWave(Chunk("fmt ", FmtBody(1, 0, 44100, 16, 0)) + data)},
      {"256 channels", RiffWave(Chunk("fmt ", FmtBody(1, 256, 44100, 16, 512)) + data)},
      {"rate 0", RiffWave(Chunk("fmt ", FmtBody(1, 2, 0, 16, 4)) + data)},
      {"rate 196001", RiffWave(Chunk("fmt ", FmtBody(1, 2, 196001, 16, 4)) + data)},
      {"0 bits (frame size 0)", RiffWave(Chunk("fmt ", FmtBody(1, 2, 44100, 0, 4)) + data)},
      {"0 channels in a compressed format", RiffWave(Chunk("fmt ", FmtBody(2, 0, 44100, 4, 1024)) + data)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OpenState("broken.wav", c.bytes), LStreamState::kCorrupt) << c.name;
  }
}

TEST(WaveOpen, CompressedFormatsNeedACodec) {
  const std::string data = Chunk("data", std::string(64, '\x11'));
  // MS ADPCM with its coefficient table, IEEE float, and extensible with a float sub-format.
  EXPECT_EQ(OpenState("adpcm.wav", RiffWave(Chunk("fmt ", FmtBody(2, 1, 22050, 4, 256, true, std::string(32, '\0'))) + data)),
            LStreamState::kCodecMissing);
  EXPECT_EQ(OpenState("float.wav", RiffWave(Chunk("fmt ", FmtBody(3, 2, 44100, 32, 8)) + data)),
            LStreamState::kCodecMissing);
  std::string floatExtra = Le16(32) + Le32(3) + Le32(3) + std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
  EXPECT_EQ(OpenState("floatx.wav", RiffWave(Chunk("fmt ", FmtBody(0xFFFE, 2, 44100, 32, 8, true, floatExtra)) + data)),
            LStreamState::kCodecMissing);
}

TEST(WaveOpen, AcceptsTheLimitsOfTheHeader) {
  std::string data = Chunk("data", std::string(255 * 2 * 3, '\0'));
  LRef<LSoundStream> wide = OpenImage("wide.wav", RiffWave(Chunk("fmt ", FmtBody(1, 255, 196000, 16, 510)) + data));
  ASSERT_TRUE(wide->Usable());
  EXPECT_EQ(wide->Channels(), 255);
  EXPECT_EQ(wide->SampleRate(), 196000);
  EXPECT_EQ(wide->Length(), 3);
  EXPECT_EQ(wide->FullScale(), 524272);

  LRef<LSoundStream> slow = OpenImage("slow.wav", PcmWave(1, 1, 16, S16Data({5})));
  ASSERT_TRUE(slow->Usable());
  EXPECT_EQ(slow->SampleRate(), 1);

  // A "fmt " chunk of the largest size, mostly codec data.
  std::string bigFmt = FmtBody(1, 2, 44100, 16, 4, true, std::string(8192 - 18, 'x'));
  EXPECT_EQ(OpenState("bigfmt.wav", RiffWave(Chunk("fmt ", bigFmt) + Chunk("data", S16Data(kFourFrames)))),
            LStreamState::kOk);
}

TEST(WaveOpen, WalksPastOtherChunks) {
  const std::string samples = S16Data(kFourFrames);
  // LIST before "fmt ", fact before "data", and an odd-sized chunk whose pad byte would be
  // read as the next header if it were not skipped.
  std::string list = Chunk("LIST", "INFOISFT" + Le32(5) + "abcde");
  std::string odd = RawChunk("odd ", 7, "1234567") + '\0';
  std::string fact = Chunk("fact", Le32(4));
  LRef<LSoundStream> stream =
      OpenImage("chunks.wav", RiffWave(list + odd + PcmFmt(2, 44100, 16) + odd + fact + Chunk("data", samples)));
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 4);
  EXPECT_EQ(ReadFrames(*stream, 4), Internal16(kFourFrames));

  // Leading junk before the RIFF form is skipped by its size.
  LRef<LSoundStream> prefixed =
      OpenImage("prefixed.wav", Chunk("JUNK", "twelve bytes") + PcmWave(2, 44100, 16, samples));
  ASSERT_TRUE(prefixed->Usable());
  EXPECT_EQ(ReadFrames(*prefixed, 4), Internal16(kFourFrames));

  // The RIFF size is not trusted: a wrong one does not matter.
  std::string wrongRiff = PcmWave(2, 44100, 16, samples);
  wrongRiff.replace(4, 4, Le32(3));
  EXPECT_EQ(OpenState("wrongriff.wav", wrongRiff), LStreamState::kOk);
}

TEST(WaveOpen, ShortFmtChunkHasNoExtraSize) {
  std::string fmt16 = Chunk("fmt ", FmtBody(1, 2, 32000, 16, 4, /*withExtraSize=*/false));
  LRef<LSoundStream> stream = OpenImage("fmt16.wav", RiffWave(fmt16 + Chunk("data", S16Data(kFourFrames))));
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(stream->SampleRate(), 32000);
  EXPECT_EQ(ReadFrames(*stream, 4), Internal16(kFourFrames));
}

TEST(WaveRead, ContainerWidthsAndTheirConversions) {
  // 8-bit: unsigned, 128 is silence.
  LRef<LSoundStream> u8 = OpenImage("u8.wav", PcmWave(1, 8000, 8, std::string("\x80\x00\xFF\x81", 4)));
  EXPECT_EQ(ReadFrames(*u8, 4), (std::vector<int32_t>{0, -524288, 127 * 4096, 4096}));

  LRef<LSoundStream> s16 = OpenImage("s16.wav", PcmWave(1, 8000, 16, S16Data({-32768, 32767, -1, 0})));
  EXPECT_EQ(ReadFrames(*s16, 4), (std::vector<int32_t>{-524288, 524272, -16, 0}));

  // 24-bit: arithmetic shift right by 4, truncating towards minus infinity.
  std::string s24 = std::string("\xFF\xFF\x7F", 3) + std::string("\x00\x00\x80", 3) +
                    std::string("\xFF\xFF\xFF", 3) + std::string("\x10\x00\x00", 3);
  LRef<LSoundStream> r24 = OpenImage("s24.wav", PcmWave(1, 8000, 24, s24));
  EXPECT_EQ(ReadFrames(*r24, 4), (std::vector<int32_t>{524287, -524288, -1, 1}));

  // 32-bit: (sample + 2048) >> 12.
  std::string s32 = Le32(0x7FFFFFFF) + Le32(0x80000000u) + Le32(2047) + Le32(2048) + Le32(0xFFFFF7FFu);
  LRef<LSoundStream> r32 = OpenImage("s32.wav", PcmWave(1, 8000, 32, s32));
  EXPECT_EQ(ReadFrames(*r32, 5), (std::vector<int32_t>{524288, -524288, 0, 1, -1}));

  // Odd bit depths use the next container: 12 bits in 2 bytes, 20 bits in 3.
  std::string fmt12 = Chunk("fmt ", FmtBody(1, 1, 8000, 12, 2));
  LRef<LSoundStream> r12 = OpenImage("s12.wav", RiffWave(fmt12 + Chunk("data", S16Data({0x7FF0, -16}))));
  ASSERT_TRUE(r12->Usable());
  EXPECT_EQ(r12->Length(), 2);
  EXPECT_EQ(ReadFrames(*r12, 2), (std::vector<int32_t>{0x7FF0 * 16, -256}));

  std::string fmt20 = Chunk("fmt ", FmtBody(1, 1, 8000, 20, 3));
  LRef<LSoundStream> r20 = OpenImage("s20.wav", RiffWave(fmt20 + Chunk("data", std::string("\xF0\xFF\x7F\x00\x10\x00", 6))));
  ASSERT_TRUE(r20->Usable());
  EXPECT_EQ(r20->Length(), 2);
  EXPECT_EQ(ReadFrames(*r20, 2), (std::vector<int32_t>{0x7FFFF, 0x100}));

  // The frame size comes from channels x container, not from the header's block align.
  std::string lyingAlign = Chunk("fmt ", FmtBody(1, 2, 8000, 16, 7));
  LRef<LSoundStream> aligned = OpenImage("align.wav", RiffWave(lyingAlign + Chunk("data", S16Data(kFourFrames))));
  EXPECT_EQ(aligned->Length(), 4);
  EXPECT_EQ(ReadFrames(*aligned, 4), Internal16(kFourFrames));
}

TEST(WaveRead, LengthFromTheDataSize) {
  // A partial last frame does not count.
  std::string partial = S16Data(kFourFrames) + "\x01\x02\x03";
  EXPECT_EQ(OpenImage("partial.wav", RiffWave(PcmFmt(2, 44100, 16) + RawChunk("data", 19, partial)))->Length(), 4);

  // All ones: the data runs to the end of the file, whatever follows.
  std::string open = RiffWave(PcmFmt(2, 44100, 16) + RawChunk("data", 0xFFFFFFFFu, partial));
  LRef<LSoundStream> unfinished = OpenImage("unfinished.wav", open);
  ASSERT_TRUE(unfinished->Usable());
  EXPECT_EQ(unfinished->Length(), (static_cast<int>(open.size()) - 46) / 4);
  EXPECT_EQ(ReadFrames(*unfinished, 4), Internal16(kFourFrames));

  // A size beyond the file: the length counts the frames that are there (the last partial
  // one included, its missing bytes as zeros); reads past it are zeros.
  LRef<LSoundStream> truncated =
      OpenImage("truncated.wav", RiffWave(PcmFmt(2, 44100, 16) + RawChunk("data", 4000, S16Data(kFourFrames) + "\x34\x12")));
  ASSERT_TRUE(truncated->Usable());
  EXPECT_EQ(truncated->Length(), 5);
  std::vector<int32_t> expected = Internal16(kFourFrames);
  expected.push_back(0x1234 * 16);  // the half frame that is there
  expected.resize(2 * 1000, 0);
  EXPECT_EQ(ReadFrames(*truncated, 1000), expected);

  // Missing 8-bit frames are silence too, not the zero byte (which is the most negative sample).
  LRef<LSoundStream> truncated8 = OpenImage("truncated8.wav", RiffWave(PcmFmt(1, 8000, 8) + RawChunk("data", 100, "\x90\x70")));
  EXPECT_EQ(truncated8->Length(), 2);
  expected = {16 * 4096, -16 * 4096};
  expected.resize(100, 0);
  EXPECT_EQ(ReadFrames(*truncated8, 100), expected);

  // A claimed size of 4 GB over one byte of data is one frame long.
  LRef<LSoundStream> huge = OpenImage("huge.wav", RiffWave(PcmFmt(1, 8000, 8) + RawChunk("data", 0xFFFFFFFEu, "\x90")));
  ASSERT_TRUE(huge->Usable());
  EXPECT_EQ(huge->Length(), 1);
  EXPECT_EQ(ReadFrames(*huge, 2), (std::vector<int32_t>{16 * 4096, 0}));
  huge->Seek(std::numeric_limits<int32_t>::max() - 3);
  EXPECT_EQ(ReadFrames(*huge, 8), std::vector<int32_t>(8, 0));
}

// 2000 stereo 16-bit frames, sample value a function of its index.
std::string RampData(int frames) {
  std::vector<int> samples;
  for (int i = 0; i < frames; ++i) {
    samples.push_back((i * 37) % 65536 - 32768);
    samples.push_back(-(i * 11 % 30000));
  }
  return S16Data(samples);
}

TEST(WaveRead, FramesOutsideTheFileAreZeros) {
  LRef<LSoundStream> stream = OpenImage("ramp.wav", PcmWave(2, 44100, 16, RampData(2000)));
  ASSERT_TRUE(stream->Usable());
  std::vector<int32_t> all = ReadFrames(*stream, 2000);
  EXPECT_EQ(stream->Position(), 2000);

  // 100 frames at -40: 40 frames of zeros, then the first 60.
  stream->Seek(-40);
  std::vector<int32_t> early = ReadFrames(*stream, 100);
  EXPECT_EQ(stream->Position(), 60);
  std::vector<int32_t> expected(2 * 40, 0);
  expected.insert(expected.end(), all.begin(), all.begin() + 2 * 60);
  EXPECT_EQ(early, expected);

  // Across the end: the last 10 frames, then zeros; the position still advances fully.
  stream->Seek(1990);
  std::vector<int32_t> late = ReadFrames(*stream, 30);
  EXPECT_EQ(stream->Position(), 2020);
  expected.assign(all.end() - 2 * 10, all.end());
  expected.resize(2 * 30, 0);
  EXPECT_EQ(late, expected);

  // Entirely before or beyond.
  stream->Seek(-20000);
  EXPECT_EQ(ReadFrames(*stream, 9000), std::vector<int32_t>(2 * 9000, 0));
  stream->Seek(5000);
  EXPECT_EQ(ReadFrames(*stream, 10), std::vector<int32_t>(2 * 10, 0));

  // A read of nothing changes nothing.
  stream->Seek(7);
  stream->Read(nullptr, 0);
  EXPECT_EQ(stream->Position(), 7);
}

TEST(WaveRead, ResultDoesNotDependOnHowReadsAreSliced) {
  const int frames = 30000;  // several 8192-frame pieces
  for (int channels : {1, 2, 3}) {
    std::string data = RampData(frames * channels / 2 + 1).substr(0, static_cast<size_t>(frames) * channels * 2);
    LRef<LSoundStream> stream = OpenImage("slices.wav", PcmWave(channels, 48000, 16, data));
    ASSERT_TRUE(stream->Usable());
    ASSERT_EQ(stream->Length(), frames);
    std::vector<int32_t> whole = ReadFrames(*stream, frames + 100);  // one call, past the end

    std::mt19937 random(channels);
    stream->Seek(0);
    std::vector<int32_t> sliced;
    while (stream->Position() < frames + 100) {
      int32_t count = std::min<int32_t>(std::uniform_int_distribution<int32_t>(0, 20000)(random),
                                        frames + 100 - stream->Position());
      std::vector<int32_t> piece = ReadFrames(*stream, count);
      sliced.insert(sliced.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(sliced, whole) << channels << " channels";

    // Seeking anywhere reads what the whole read had there.
    for (int i = 0; i < 20; ++i) {
      int32_t at = std::uniform_int_distribution<int32_t>(-500, frames + 50)(random);
      int32_t count = std::uniform_int_distribution<int32_t>(1, 9000)(random);
      stream->Seek(at);
      EXPECT_EQ(stream->Position(), at);
      std::vector<int32_t> piece = ReadFrames(*stream, count);
      for (int32_t f = 0; f < count; ++f) {
        int64_t frame = int64_t{at} + f;
        for (int c = 0; c < channels; ++c) {
          int32_t want = frame >= 0 && frame < frames + 100 ? whole[static_cast<size_t>(frame) * channels + c] : 0;
          ASSERT_EQ(piece[static_cast<size_t>(f) * channels + c], want) << "seek " << at << " frame " << f;
        }
      }
    }
  }
}

TEST(WaveRead, OffsetsBeyondFourGigabytes) {
  // A sparse file of more than 4 GB whose data size is all ones: the length and the read
  // offsets need 64-bit arithmetic.
  std::string path = TestPath("big.wav");
  WriteBytes(path, RiffWave(PcmFmt(2, 44100, 16) + RawChunk("data", 0xFFFFFFFFu, "")));
  const int64_t frames = 1'300'000'000;  // 5.2 GB of stereo 16-bit
  {
    LFile file = LFile::Open(path, LFileMode::kReadWrite);
    ASSERT_TRUE(file.Truncate(46 + frames * 4));
    std::string last = S16Data({1234, -4321});
    ASSERT_TRUE(file.WriteAt(46 + (frames - 1) * 4, last.data(), 4));
  }
  LRef<LSoundStream> stream = OpenWaveFile(path);
  ASSERT_TRUE(stream->Usable());
  ASSERT_EQ(stream->Length(), frames);
  stream->Seek(static_cast<int32_t>(frames - 2));
  EXPECT_EQ(ReadFrames(*stream, 3), (std::vector<int32_t>{0, 0, 1234 * 16, -4321 * 16, 0, 0}));
  RemoveFile(path);
}

}  // namespace
}  // namespace klangor
