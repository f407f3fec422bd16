// Writing PCM WAVE files: the header while writing and after, seeking back and resuming,
// sizes beyond 32 bits (RF64, read back by Klangor, sox and ffmpeg), failures that must be
// reported, and every width as sox reads it. (Reading what sox writes in every width is checked end to end in
// tests/batch/batch_test.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/wav_file.h"
#include "wav_test_files.h"

namespace klangor {
namespace {

using namespace wavtest;  // NOLINT: test helpers

std::vector<int32_t> Ramp(int frames, int channels) {
  std::vector<int32_t> samples;
  for (int i = 0; i < frames * channels; ++i) samples.push_back(((i * 7919) % 1000000 - 500000) & ~15);
  return samples;
}

// A plain header with the sizes of what was written; odd bit depths use the next container.
TEST(WaveSink, PlainHeaderCountsTheDataAndTakesTheWidthFromTheBits) {
  const std::pair<int, int> kBitsToBytes[] = {{8, 1}, {12, 2}, {16, 2}, {20, 3}, {24, 3}, {32, 4}};
  for (auto [bits, bytes] : kBitsToBytes) {
    const std::string path = TestPath("plain.wav");
    LRef<LSoundSink> sink = CreateWaveFile(path, MakePcmFormat(11025, 3, bits));
    ASSERT_FALSE(sink->Failed());
    std::vector<int32_t> silence(3 * 1000, 0);
    for (int written = 0; written < 2500; written += 1000) sink->Write(silence.data(), std::min(1000, 2500 - written));
    EXPECT_EQ(sink->FramesWritten(), 2500);
    sink.Reset();  // the last reference finishes the file
    const auto data = static_cast<uint32_t>(2500 * 3 * bytes);
    const std::string file = ReadBytes(path);
    ASSERT_EQ(file.size(), 46u + data) << bits;
    EXPECT_EQ(file.substr(0, 46), "RIFF" + Le32(38 + data) + "WAVE" + "fmt " + Le32(18) + Le16(1) + Le16(3) +
                                      Le32(11025) + Le32(11025 * 3 * bytes) + Le16(3 * bytes) + Le16(8 * bytes) +
                                      Le16(0) + "data" + Le32(data))
        << bits;
  }
}

TEST(WaveSink, HeaderKeepsAllOnesWhileOpen) {
  std::string path = TestPath("open.wav");
  LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 3, 96000, 0);
  std::vector<int32_t> samples = Ramp(5000, 2);
  sink->Write(samples.data(), 5000);

  // A growing file keeps room for "ds64" in a "JUNK" chunk.
  std::string bytes = ReadBytes(path);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(Get32At(bytes, 4), 0xFFFFFFFFu);
  EXPECT_EQ(bytes.substr(12, 8), "JUNK" + Le32(28));
  EXPECT_EQ(bytes.substr(48, 4), "fmt ");
  EXPECT_EQ(Get32At(bytes, 78), 0xFFFFFFFFu);
  EXPECT_EQ(Get32At(bytes, 64), 96000u * 6);
  // What a crash would leave behind is readable to its end.
  LRef<LSoundStream> stream = OpenWaveFile(path);
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 5000);
  EXPECT_EQ(ReadFrames(*stream, 5000), samples);

  sink->Finish();
  sink->Finish();  // idempotent
  EXPECT_FALSE(sink->Failed());
  bytes = ReadBytes(path);
  EXPECT_EQ(Get32At(bytes, 4), 5000u * 6 + 74);
  EXPECT_EQ(Get32At(bytes, 78), 5000u * 6);

  // Writing after the finish is lost and says so.
  sink->Write(samples.data(), 1);
  EXPECT_TRUE(sink->Failed());
  EXPECT_EQ(ReadBytes(path).size(), 82u + 5000 * 6);
  EXPECT_EQ(std::stoi(RunTool({"soxi", "-s", path})), 5000);
}

TEST(WaveSink, SeekingBackShortensTheFile) {
  std::string path = TestPath("seek.wav");
  std::vector<int32_t> samples = Ramp(1000, 2);
  LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 2, 44100, 0);
  sink->Write(samples.data(), 1000);
  sink->Seek(400);
  EXPECT_EQ(sink->FramesWritten(), 400);
  EXPECT_EQ(ReadBytes(path).size(), 82u + 400 * 4);

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
  EXPECT_EQ(ReadBytes(path).size(), 82u);
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
    ASSERT_TRUE(file.WriteAt(kRoomyWaveHeaderBytes + 700 * 4, "\x01\x02", 2));  // half a frame
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

// A saved file (plain header) continued by the growing writer keeps its layout.
TEST(WaveSink, ContinuingAPlainFileKeepsItsHeader) {
  std::string path = TestPath("plain.wav");
  std::vector<int32_t> first = Ramp(100, 1);
  {
    LRef<LSoundSink> sink = CreateWaveFile(path, MakePcm16Format(8000, 1));
    sink->Write(first.data(), 100);
  }
  std::vector<int32_t> more(20, 16 * 3);
  {
    LRef<LSoundSink> sink = CreatePcmWaveSink(path, 1, 2, 8000, 50);
    sink->Write(more.data(), 20);
  }
  EXPECT_EQ(ReadBytes(path).size(), 46u + 70 * 2);
  LRef<LSoundStream> stream = OpenWaveFile(path);
  std::vector<int32_t> expected(first.begin(), first.begin() + 50);
  expected.insert(expected.end(), more.begin(), more.end());
  EXPECT_EQ(ReadFrames(*stream, 70), expected);
}

// Sizes beyond 32 bits: a growing file turns into RF64 when it passes 4 GB, and the finished
// file reads to its full length in Klangor and ffmpeg. A sparse file stands for the
// gigabytes, so nothing of them is written.
TEST(WaveSink, GrowingFileBeyondFourGigabytesBecomesRf64) {
  std::string path = TestPath("long.wav");
  const int64_t frames = int64_t{INT32_MAX} - 1;  // 8 GB of stereo 16-bit
  {
    LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 2, 44100, 0);
    sink->Finish();
    LFile file = LFile::Open(path, LFileMode::kReadWrite);
    ASSERT_TRUE(file.Truncate(kRoomyWaveHeaderBytes + (frames - 1) * 4));
  }
  std::vector<int32_t> last = {16 * 7, -16 * 7};
  {
    LRef<LSoundSink> sink = CreatePcmWaveSink(path, 2, 2, 44100, static_cast<int32_t>(frames - 1));
    ASSERT_EQ(sink->FramesWritten(), frames - 1);
    sink->Write(last.data(), 1);
    // Open and past the limit: RF64 already, with unknown sizes.
    std::string head = ReadHead(path, kRoomyWaveHeaderBytes);
    EXPECT_EQ(head.substr(0, 4), "RF64");
    EXPECT_EQ(head.substr(12, 8), "ds64" + Le32(28));
    EXPECT_EQ(Get32At(head, 28), 0xFFFFFFFFu);
    EXPECT_EQ(OpenWaveFile(path)->Length(), frames);
    sink->Write(last.data(), 1);
    sink->Finish();
    EXPECT_FALSE(sink->Failed());
  }
  const int64_t dataBytes = (frames + 1) * 4;
  std::string head = ReadHead(path, kRoomyWaveHeaderBytes);
  EXPECT_EQ(head.substr(0, 12), "RF64" + Le32(0xFFFFFFFF) + "WAVE");
  EXPECT_EQ(Get64At(head, 20), static_cast<uint64_t>(dataBytes + 74));
  EXPECT_EQ(Get64At(head, 28), static_cast<uint64_t>(dataBytes));
  EXPECT_EQ(Get64At(head, 36), static_cast<uint64_t>(frames + 1));
  EXPECT_EQ(head.substr(74, 8), "data" + Le32(0xFFFFFFFF));

  LRef<LSoundStream> stream = OpenWaveFile(path);
  ASSERT_TRUE(stream->Usable());
  ASSERT_EQ(stream->Length(), frames + 1);
  stream->Seek(static_cast<int32_t>(frames - 2));
  EXPECT_EQ(ReadFrames(*stream, 4), (std::vector<int32_t>{0, 0, last[0], last[1], last[0], last[1], 0, 0}));

  // ffmpeg: the length from the header, and the last frames read by seeking there. (sox
  // reads it too, but walks the zeros of a sparse file for markers; the slow suite has it
  // read a saved document of real audio.)
  if (HaveFfmpeg()) {
    EXPECT_EQ(std::stoll(RunTool({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                                  "stream=duration_ts", "-of", "default=nw=1:nk=1", path})),
              frames + 1);
    // Seek to half a second before the end and count what is left.
    const std::string raw = RunTool({"ffmpeg", "-v", "error", "-ss", std::to_string((frames + 1 - 22050) / 44100.0),
                                     "-i", path, "-f", "s16le", "-"});
    EXPECT_NEAR(static_cast<double>(raw.size()) / 4, 22050, 2);
    ASSERT_GE(raw.size(), 8u);
    EXPECT_EQ(raw.substr(raw.size() - 8), Le16(7) + Le16(0xFFF9) + Le16(7) + Le16(0xFFF9));
  }
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
  LWaveFormat unknown = MakePcm16Format(44100, 2);
  unknown.formatTag = 0x1234;  // no encoder writes it
  EXPECT_TRUE(CreateWaveFile(untouched, unknown)->Failed());
  LWaveFormat adpcm = MakePcm16Format(7, 2);
  adpcm.formatTag = 2;  // MS ADPCM, at a rate it is not written at
  EXPECT_TRUE(CreateWaveFile(untouched, adpcm)->Failed());
  EXPECT_EQ(ReadBytes(untouched), "keep me");

  // A device that is always full fails on the header.
  if (FileExists("/dev/full")) {
    EXPECT_TRUE(CreatePcmWaveSink("/dev/full", 1, 2, 8000, 0)->Failed());
  }
}

TEST(WaveSink, WriteFailureMidwaySetsTheErrorBit) {
  test::LFileSizeLimit full(100000);
  LRef<LSoundSink> sink = CreatePcmWaveSink(TestPath("full.wav"), 2, 2, 44100, 0);
  EXPECT_FALSE(sink->Failed());
  std::vector<int32_t> samples(2 * 8192, 160);
  for (int i = 0; i < 5; ++i) sink->Write(samples.data(), 8192);  // 160 KB in all
  EXPECT_TRUE(sink->Failed());
  sink->Finish();
  EXPECT_TRUE(sink->Failed());
}

// Every width and layout as sox reads it, by the write conversion.
TEST(WaveSink, SoxReadsWhatTheSinkWrites) {
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
      EXPECT_EQ(test::SoxSamples32(path), expected) << where;
    }
  }
}

}  // namespace
}  // namespace klangor
