// Opening and reading WAVE files from hand-made byte images: refused and damaged headers,
// the variants of a good header, odd container widths, lengths from lying sizes. (Reads in any
// slicing and after seeks: the stream contract suite; beyond 4 GB: the file wav_sink_test writes.)

#include "formats/wav_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>
#include <string>
#include <vector>

#include "support/test_streams.h"
#include "wav_test_files.h"

namespace klangor {
namespace {

using namespace wavtest;  // NOLINT: test helpers

LRef<LSoundStream> OpenImage(const std::string& name, const std::string& bytes) {
  std::string path = TestPath(name);
  WriteBytes(path, bytes);
  return OpenWaveFile(path);
}

LStreamState OpenState(const std::string& name, const std::string& bytes) { return OpenImage(name, bytes)->State(); }

// Four stereo 16-bit frames with distinct samples.
const std::vector<int> kFourFrames = {1, -1, 2, -2, 300, -300, 32767, -32768};
std::vector<int32_t> Internal16(const std::vector<int>& samples) {
  std::vector<int32_t> out;
  for (int s : samples) out.push_back(s * 16);
  return out;
}

// The extensible record's extra bytes: valid bits, channel mask, sub-format GUID (1 is PCM).
std::string ExtensibleExtra(uint32_t subFormat, size_t keep = 22) {
  return (Le16(24) + Le32(3) + Le32(subFormat) + std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12))
      .substr(0, keep);
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

  if (geteuid() == 0) return;  // permissions do not apply to root
  std::string locked = TestPath("locked.wav");
  WriteBytes(locked, PcmWave(1, 8000, 16, S16Data({1, 2})));
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  EXPECT_EQ(OpenWaveFile(locked)->State(), LStreamState::kCannotOpen);
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

TEST(WaveOpen, CompressedFormatsWithoutADecoderNeedACodec) {
  const std::string data = Chunk("data", std::string(64, '\x11'));
  const std::string fmts[] = {
      FmtBody(0x7777, 1, 22050, 4, 256, true, std::string(32, '\0')),    // a tag nobody decodes
      FmtBody(0xFFFE, 2, 44100, 24, 6, true, ExtensibleExtra(1, 20)),    // sub-format cut short
  };
  for (size_t i = 0; i < std::size(fmts); ++i) {
    EXPECT_EQ(OpenState("codec.wav", RiffWave(Chunk("fmt ", fmts[i]) + data)), LStreamState::kCodecMissing) << i;
  }
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

// Good headers in every variant read the same four frames.
TEST(WaveOpen, HeaderVariantsReadTheSameFrames) {
  const std::string samples = S16Data(kFourFrames);
  // LIST before "fmt ", fact before "data", and an odd-sized chunk whose pad byte would be
  // read as the next header if it were not skipped.
  const std::string list = Chunk("LIST", "INFOISFT" + Le32(5) + "abcde");
  const std::string odd = RawChunk("odd ", 7, "1234567") + '\0';
  const std::string fact = Chunk("fact", Le32(4));
  std::string wrongRiff = PcmWave(2, 44100, 16, samples);
  wrongRiff.replace(4, 4, Le32(3));  // the RIFF size is not trusted
  const std::string images[] = {
      // A chunk after "data" is not audio.
      RiffWave(list + odd + PcmFmt(2, 44100, 16) + odd + fact + Chunk("data", samples) + Chunk("id3 ", "tail")),
      Chunk("JUNK", "twelve bytes") + PcmWave(2, 44100, 16, samples),  // skipped by its size
      wrongRiff,
      // A 16-byte record has no extra size field at all.
      RiffWave(Chunk("fmt ", FmtBody(1, 2, 44100, 16, 4, false)) + Chunk("data", samples)),
      // An extra size beyond the chunk keeps what is there.
      RiffWave(RawChunk("fmt ", 20, FmtBody(1, 2, 44100, 16, 4, false) + Le16(500) + "ab") + Chunk("data", samples)),
      // Extensible with the PCM sub-format is PCM.
      RiffWave(Chunk("fmt ", FmtBody(0xFFFE, 2, 44100, 16, 4, true, ExtensibleExtra(1))) + Chunk("data", samples)),
  };
  for (size_t i = 0; i < std::size(images); ++i) {
    LRef<LSoundStream> stream = OpenImage("variant.wav", images[i]);
    ASSERT_TRUE(stream->Usable()) << i;
    EXPECT_EQ(stream->Length(), 4) << i;
    EXPECT_EQ(ReadFrames(*stream, 4), Internal16(kFourFrames)) << i;
  }
}

// The widths sox cannot write: odd bit depths use the next container, and the frame size comes
// from channels x container, not from the header's block align.
TEST(WaveRead, OddBitDepthsAndLyingBlockAlign) {
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

// RF64 and BW64: the data size comes from "ds64" when the data chunk's own size is all ones
// (also in a RIFF form); all ones in "ds64" too runs to the end of the file.
TEST(WaveRead, SixtyFourBitSizesFromDs64) {
  auto ds64 = [](uint64_t dataBytes) {
    std::string body = Le32(0) + Le32(0) + Le32(static_cast<uint32_t>(dataBytes)) +
                       Le32(static_cast<uint32_t>(dataBytes >> 32)) + Le32(0) + Le32(0) + Le32(0);
    return Chunk("ds64", body);
  };
  const std::string samples = S16Data(kFourFrames) + S16Data({1, 2});  // 5 frames in the file
  const std::string chunks = ds64(12) + PcmFmt(2, 44100, 16) + RawChunk("data", 0xFFFFFFFFu, samples);
  for (const char* form : {"RF64", "BW64", "RIFF"}) {
    std::string image = RiffWave(chunks);
    image.replace(0, 8, std::string(form) + Le32(0xFFFFFFFFu));
    LRef<LSoundStream> stream = OpenImage("rf64.wav", image);
    ASSERT_TRUE(stream->Usable()) << form;
    EXPECT_EQ(stream->Length(), 3) << form;
  }
  std::string toEnd = RiffWave(ds64(~uint64_t{0}) + PcmFmt(2, 44100, 16) + RawChunk("data", 0xFFFFFFFFu, samples));
  toEnd.replace(0, 4, "RF64");
  EXPECT_EQ(OpenImage("rf64end.wav", toEnd)->Length(), 5);
  // A data size of its own wins over "ds64".
  std::string own = RiffWave(ds64(12) + PcmFmt(2, 44100, 16) + RawChunk("data", 8, samples));
  EXPECT_EQ(OpenImage("rf64own.wav", own)->Length(), 2);
}

}  // namespace
}  // namespace klangor
