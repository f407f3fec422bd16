// Writing PCM WAVE files.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "formats/wav_file.h"
#include "wav_test_files.h"

namespace klangor {
namespace {

using namespace wavtest;  // NOLINT: test helpers

// Writes `samples` (interleaved) through a fresh PCM sink and returns the file's bytes.
std::string WriteThroughSink(const std::string& name, int channels, int bytesPerSample,
                             const std::vector<int32_t>& samples) {
  std::string path = TestPath(name);
  LRef<LSoundSink> sink = CreatePcmWaveSink(path, channels, bytesPerSample, 8000, 0);
  EXPECT_FALSE(sink->Failed());
  sink->Write(samples.data(), static_cast<int32_t>(samples.size() / channels));
  sink->Finish();
  EXPECT_FALSE(sink->Failed());
  return ReadBytes(path);
}

std::vector<int32_t> Ramp(int frames, int channels) {
  std::vector<int32_t> samples;
  for (int i = 0; i < frames * channels; ++i) samples.push_back(((i * 7919) % 1000000 - 500000) & ~15);
  return samples;
}

TEST(WaveSink, OneSecondOfCdAudio) {
  std::string path = TestPath("second.wav");
  LWaveFormat cd = MakePcm16Format(44100, 2);
  LRef<LSoundSink> sink = CreateWaveFile(path, cd);
  ASSERT_FALSE(sink->Failed());
  std::vector<int32_t> silence(2 * 1000, 0);
  for (int written = 0; written < 44100; written += 1000) {
    sink->Write(silence.data(), std::min(1000, 44100 - written));
  }
  EXPECT_EQ(sink->FramesWritten(), 44100);
  sink.Reset();  // the last reference finishes the file

  std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 176446u);
  std::string header = "RIFF" + Le32(176438) + "WAVE" + "fmt " + Le32(18) + Le16(1) + Le16(2) +
                       Le32(44100) + Le32(176400) + Le16(4) + Le16(16) + Le16(0) + "data" + Le32(176400);
  EXPECT_EQ(bytes.substr(0, 46), header);
  EXPECT_EQ(bytes.find_first_not_of('\0', 46), std::string::npos);
}

TEST(WaveSink, HeaderKeepsAllOnesWhileOpen) {
  std::string path = TestPath("open.wav");
  LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 3, 96000, 0);
  std::vector<int32_t> samples = Ramp(5000, 2);
  sink->Write(samples.data(), 5000);

  std::string bytes = ReadBytes(path);
  EXPECT_EQ(Get32At(bytes, 4), 0xFFFFFFFFu);
  EXPECT_EQ(Get32At(bytes, 42), 0xFFFFFFFFu);
  EXPECT_EQ(Get32At(bytes, 28), 96000u * 6);
  // What a crash would leave behind is readable to its end.
  LRef<LSoundStream> stream = OpenWaveFile(path);
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 5000);
  EXPECT_EQ(ReadFrames(*stream, 5000), samples);

  sink->Finish();
  sink->Finish();  // idempotent
  EXPECT_FALSE(sink->Failed());
  bytes = ReadBytes(path);
  EXPECT_EQ(Get32At(bytes, 4), 5000u * 6 + 38);
  EXPECT_EQ(Get32At(bytes, 42), 5000u * 6);

  // Writing after the finish is lost and says so.
  sink->Write(samples.data(), 1);
  EXPECT_TRUE(sink->Failed());
  EXPECT_EQ(ReadBytes(path).size(), 46u + 5000 * 6);
}

TEST(WaveSink, ConversionsAtTheEdges) {
  // 16-bit: -524288 <-> -32768, 524272 -> 32767, rounding at +8, wrap beyond full scale.
  std::string s16 = WriteThroughSink("e16.wav", 1, 2, {-524288, 524272, 7, 8, -9, 524288});
  EXPECT_EQ(s16.substr(46), S16Data({-32768, 32767, 0, 1, -1, -32768}));
  LRef<LSoundStream> back = OpenWaveFile(TestPath("e16.wav"));
  EXPECT_EQ(ReadFrames(*back, 2), (std::vector<int32_t>{-524288, 524272}));

  // 8-bit: 0 -> 128, rounding at +2048, low 8 bits kept.
  std::string u8 = WriteThroughSink("e8.wav", 1, 1, {0, -524288, 522239, 2047, 2048, 524288});
  EXPECT_EQ(u8.substr(46), std::string("\x80\x00\xFF\x80\x81\x00", 6));
  back = OpenWaveFile(TestPath("e8.wav"));
  EXPECT_EQ(ReadFrames(*back, 2), (std::vector<int32_t>{0, -524288}));

  // 24-bit: x * 16, low 24 bits; 32-bit: x * 4096.
  std::string s24 = WriteThroughSink("e24.wav", 1, 3, {524287, -524288, -1, 1 << 20});
  EXPECT_EQ(s24.substr(46), std::string("\xF0\xFF\x7F\x00\x00\x80\xF0\xFF\xFF\x00\x00\x00", 12));
  std::string s32 = WriteThroughSink("e32.wav", 1, 4, {524287, -524288, -1});
  EXPECT_EQ(s32.substr(46), Le32(524287u * 4096) + Le32(0x80000000u) + Le32(0xFFFFF000u));
  EXPECT_EQ(static_cast<uint8_t>(s32[32]), 4);   // block align
  EXPECT_EQ(static_cast<uint8_t>(s32[34]), 32);  // bits per sample
}

TEST(WaveSink, RoundTripsAcrossWidthsAndLayouts) {
  for (int bytesPerSample = 1; bytesPerSample <= 4; ++bytesPerSample) {
    for (int channels : {1, 2, 5}) {
      // Values that every width represents exactly.
      std::vector<int32_t> samples = Ramp(20000, channels);
      for (int32_t& s : samples) s = bytesPerSample == 1 ? s & ~4095 : s;
      std::string path = TestPath("trip.wav");
      {
        LRef<LSoundSink> sink = CreatePcmWaveSink(path, channels, bytesPerSample, 22050, 0);
        sink->Write(samples.data(), 20000);  // more than one conversion piece in one call
      }
      LRef<LSoundStream> stream = OpenWaveFile(path);
      ASSERT_TRUE(stream->Usable());
      EXPECT_EQ(stream->Channels(), channels);
      EXPECT_EQ(stream->SampleRate(), 22050);
      ASSERT_EQ(stream->Length(), 20000);
      EXPECT_EQ(ReadFrames(*stream, 20000), samples) << bytesPerSample << " bytes, " << channels << " channels";
    }
  }
}

TEST(WaveSink, SeekingBackShortensTheFile) {
  std::string path = TestPath("seek.wav");
  std::vector<int32_t> samples = Ramp(1000, 2);
  LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 2, 44100, 0);
  sink->Write(samples.data(), 1000);
  sink->Seek(400);
  EXPECT_EQ(sink->FramesWritten(), 400);
  EXPECT_EQ(ReadBytes(path).size(), 46u + 400 * 4);

  sink->Seek(900);  // forwards: ignored
  EXPECT_EQ(sink->FramesWritten(), 400);

  // Writing continues at the new position.
  std::vector<int32_t> tail(2 * 50, 16 * 99);
  sink->Write(tail.data(), 50);
  sink->Finish();
  EXPECT_FALSE(sink->Failed());
  LRef<LSoundStream> stream = OpenWaveFile(path);
  ASSERT_EQ(stream->Length(), 450);
  std::vector<int32_t> expected(samples.begin(), samples.begin() + 2 * 400);
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(ReadFrames(*stream, 450), expected);

  LRef<LSoundSink> again = CreatePcmWaveSink(path, 2, 2, 44100, 0);
  again->Write(samples.data(), 10);
  again->Seek(-5);  // counts as 0
  EXPECT_EQ(again->FramesWritten(), 0);
  again->Finish();
  EXPECT_EQ(ReadBytes(path).size(), 46u);
}

TEST(WaveSink, StartFrameKeepsTheHeadOfAnExistingFile) {
  std::string path = TestPath("resume.wav");
  std::vector<int32_t> first = Ramp(1000, 2);
  {
    LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 2, 44100, 0);
    sink->Write(first.data(), 1000);
  }
  std::vector<int32_t> more(2 * 100, -16 * 5);
  {
    LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 2, 44100, 600);
    EXPECT_EQ(sink->FramesWritten(), 600);
    sink->Write(more.data(), 100);
  }
  LRef<LSoundStream> stream = OpenWaveFile(path);
  ASSERT_EQ(stream->Length(), 700);
  std::vector<int32_t> expected(first.begin(), first.begin() + 2 * 600);
  expected.insert(expected.end(), more.begin(), more.end());
  EXPECT_EQ(ReadFrames(*stream, 700), expected);

  // A start beyond the file keeps what is there (whole frames only) and goes on from there.
  {
    LFile file = LFile::Open(path, LFileMode::kReadWrite);
    ASSERT_TRUE(file.WriteAt(46 + 700 * 4, "\x01\x02", 2));  // half a frame
  }
  {
    LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 2, 44100, 5000);
    EXPECT_EQ(sink->FramesWritten(), 700);
    sink->Write(more.data(), 1);
  }
  stream = OpenWaveFile(path);
  ASSERT_EQ(stream->Length(), 701);
  stream->Seek(700);
  EXPECT_EQ(ReadFrames(*stream, 1), (std::vector<int32_t>{-80, -80}));

  // A missing file with a start frame is simply a new file.
  std::string fresh = TestPath("fresh.wav");
  LRef<LSoundSink> sink = CreatePcmWaveSink(fresh, 1, 2, 8000, 300);
  EXPECT_FALSE(sink->Failed());
  EXPECT_EQ(sink->FramesWritten(), 0);
}

TEST(WaveSink, DataBeyondThirtyTwoBitsKeepsAllOnesSizes) {
  // Resume on a sparse file so that more than 4 GB of data exist without writing them.
  std::string path = TestPath("long.wav");
  const int64_t frames = 1'100'000'000;  // 4.4 GB of stereo 16-bit
  {
    LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 2, 44100, 0);
    sink->Finish();
    LFile file = LFile::Open(path, LFileMode::kReadWrite);
    ASSERT_TRUE(file.Truncate(46 + frames * 4));
  }
  std::vector<int32_t> last = {16 * 7, -16 * 7};
  {
    LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 2, 44100, static_cast<int32_t>(frames));
    ASSERT_EQ(sink->FramesWritten(), frames);
    sink->Write(last.data(), 1);
    sink->Finish();
    EXPECT_FALSE(sink->Failed());
  }
  std::string head(46, '\0');
  {
    LFile file = LFile::Open(path, LFileMode::kRead);
    ASSERT_EQ(file.ReadAt(0, head.data(), 46), 46);
    EXPECT_EQ(file.Size(), 46 + (frames + 1) * 4);
  }
  EXPECT_EQ(Get32At(head, 4), 0xFFFFFFFFu);
  EXPECT_EQ(Get32At(head, 42), 0xFFFFFFFFu);
  LRef<LSoundStream> stream = OpenWaveFile(path);
  ASSERT_EQ(stream->Length(), frames + 1);
  stream->Seek(static_cast<int32_t>(frames));
  EXPECT_EQ(ReadFrames(*stream, 1), last);
  RemoveFile(path);
}

TEST(WaveSink, UnwritableOutputsReportTheFailure) {
  std::vector<int32_t> samples(2 * 100, 0);

  LRef<LSoundSink> noFolder = CreatePcmWaveSink(TestPath("no/such/folder.wav"), 2, 2, 44100, 0);
  EXPECT_TRUE(noFolder->Failed());
  noFolder->Write(samples.data(), 100);  // lost, without harm
  noFolder->Finish();

  LRef<LSoundSink> folder = CreatePcmWaveSink(TempDir(), 2, 2, 44100, 0);
  EXPECT_TRUE(folder->Failed());

  // Layouts that cannot be written do not create (or clobber) the file.
  std::string untouched = TestPath("untouched.wav");
  WriteBytes(untouched, "keep me");
  EXPECT_TRUE(CreatePcmWaveSink(untouched, 0, 2, 44100, 0)->Failed());
  EXPECT_TRUE(CreatePcmWaveSink(untouched, 256, 2, 44100, 0)->Failed());
  EXPECT_TRUE(CreatePcmWaveSink(untouched, 2, 0, 44100, 0)->Failed());
  EXPECT_TRUE(CreatePcmWaveSink(untouched, 2, 5, 44100, 0)->Failed());
  EXPECT_TRUE(CreatePcmWaveSink(untouched, 2, 2, 0, 0)->Failed());
  LWaveFormat adpcm = MakePcm16Format(44100, 2);
  adpcm.formatTag = 2;
  EXPECT_TRUE(CreateWaveFile(untouched, adpcm)->Failed());
  EXPECT_EQ(ReadBytes(untouched), "keep me");

  // A device that is always full fails on the header.
  if (FileExists("/dev/full")) {
    EXPECT_TRUE(CreatePcmWaveSink("/dev/full", 1, 2, 8000, 0)->Failed());
  }
}

TEST(WaveSink, WriteFailureMidwaySetsTheErrorBit) {
  // A file size limit stands in for a full disk: writes beyond it fail with EFBIG.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

  LRef<LSoundSink> sink = CreatePcmWaveSink(TestPath("full.wav"), 2, 2, 44100, 0);
  bool createdOk = !sink->Failed();
  std::vector<int32_t> samples(2 * 8192, 160);
  for (int i = 0; i < 5; ++i) sink->Write(samples.data(), 8192);  // 160 KB in all
  bool failedAfterWrites = sink->Failed();
  sink->Finish();

  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(createdOk);
  EXPECT_TRUE(failedAfterWrites);
  EXPECT_TRUE(sink->Failed());
}

TEST(WaveSink, CreateWaveFileTakesTheWidthFromTheBits) {
  const std::pair<int, int> kBitsToBytes[] = {{8, 1}, {12, 2}, {16, 2}, {20, 3}, {24, 3}, {32, 4}};
  for (auto [bits, bytes] : kBitsToBytes) {
    std::string path = TestPath("bits.wav");
    LRef<LSoundSink> sink = CreateWaveFile(path, MakePcmFormat(11025, 3, bits));
    ASSERT_FALSE(sink->Failed());
    EXPECT_EQ(sink->Channels(), 3);
    EXPECT_EQ(sink->SampleRate(), 11025);
    std::vector<int32_t> frame(3, 0);
    sink->Write(frame.data(), 1);
    sink.Reset();
    std::string file = ReadBytes(path);
    ASSERT_EQ(file.size(), 46u + 3 * bytes) << bits;
    EXPECT_EQ(static_cast<uint8_t>(file[34]), 8 * bytes) << bits;
    EXPECT_EQ(static_cast<uint8_t>(file[32]), 3 * bytes) << bits;
  }
}

}  // namespace
}  // namespace klangor
