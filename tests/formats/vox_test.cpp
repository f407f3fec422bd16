// Dialogic ADPCM: the nibble carry-over between reads and writes, seeking, and files
// exchanged with sox (whose decoder gives twice Klangor's level and has no predictor leak, so
// the comparison is by signal-to-noise ratio).

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "formats/raw_format.h"
#include "formats/vox.h"
#include "native_test_files.h"

namespace klangor {
namespace {

using namespace nativetest;  // NOLINT: test helpers

std::vector<int32_t> Tone(int samples) {
  std::vector<int32_t> tone(static_cast<size_t>(samples));
  for (size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<int32_t>(250000 * std::sin(2 * M_PI * 440 * i / 8000.0) + 120000 * std::sin(2 * M_PI * 1230 * i / 8000.0));
  }
  return tone;
}

std::string WriteVox(const std::string& name, const std::vector<int32_t>& samples) {
  const std::string path = TestPath(name);
  LRef<LSoundSink> sink = MakeRef<LVoxSink>(path, 8000);
  sink->Write(samples.data(), static_cast<int32_t>(samples.size()));
  sink->Finish();
  EXPECT_FALSE(sink->Failed());
  return path;
}

TEST(VoxTest, NibblesCarryOverBetweenWrites) {
  const std::string path = TestPath("three.vox");
  const std::vector<int32_t> tone = Tone(4);
  {
    LRef<LSoundSink> sink = MakeRef<LVoxSink>(path, 8000);
    sink->Write(tone.data(), 3);
    EXPECT_EQ(sink->FramesWritten(), 3);
    sink->Finish();
  }
  EXPECT_EQ(test::ReadBytes(path).size(), 1u);  // the third code was still waiting
  // Pieces of 3 and 1 give the same bytes as one write of 4.
  const std::string pieces = TestPath("pieces.vox");
  {
    LRef<LSoundSink> sink = MakeRef<LVoxSink>(pieces, 8000);
    sink->Write(tone.data(), 3);
    sink->Write(tone.data() + 3, 1);
  }
  EXPECT_EQ(test::ReadBytes(pieces), test::ReadBytes(WriteVox("whole.vox", tone)));
  EXPECT_EQ(test::ReadBytes(pieces).size(), 2u);

  const std::string one = TestPath("one.vox");
  test::WriteBytes(one, "\x17");
  LRef<LSoundStream> stream = MakeRef<LVoxStream>(one, 8000);
  EXPECT_EQ(stream->Length(), 2);
  EXPECT_EQ(stream->FullScale(), 2097152);
  LAdpcmState state;
  const int32_t first = DecodeVoxCode(state, 1);
  const int32_t second = DecodeVoxCode(state, 7);
  EXPECT_EQ(ReadFrames(*stream, 3), (std::vector<int32_t>{first, second, 0}));
  EXPECT_EQ(first, 16 * 48);
  EXPECT_EQ(second, first - (first >> 6) + 16 * 240);  // index 0 - 1 is clamped to 0

  const std::string empty = TestPath("empty.vox");
  test::WriteBytes(empty, "");
  stream = MakeRef<LVoxStream>(empty, 8000);
  EXPECT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 0);
  EXPECT_EQ(ReadFrames(*stream, 2), (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(MakeRef<LVoxStream>(TestPath("missing.vox"), 8000)->State(), LStreamState::kCannotOpen);
}

TEST(VoxTest, ReadsDoNotDependOnSlicingAndSeeksLandOnTheSample) {
  const std::vector<int32_t> tone = Tone(8001);
  const std::string path = WriteVox("slices.vox", tone);
  LRef<LSoundStream> stream = MakeRef<LVoxStream>(path, 8000);
  ASSERT_EQ(stream->Length(), 8000);
  const std::vector<int32_t> whole = ReadFrames(*stream, 8000);
  // The encoder tracks the input closely.
  EXPECT_GT(SnrDb(std::vector<int32_t>(tone.begin(), tone.end() - 1), whole), 20.0);
  std::mt19937 random(3);
  for (int round = 0; round < 4; ++round) {
    stream->Seek(0);
    std::vector<int32_t> sliced;
    while (sliced.size() < whole.size()) {
      const auto n = std::min<int32_t>(std::uniform_int_distribution<int32_t>(0, 37)(random),
                                       static_cast<int32_t>(whole.size() - sliced.size()));
      std::vector<int32_t> piece = ReadFrames(*stream, n);
      sliced.insert(sliced.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(sliced, whole);
  }
  // Seeking to where the decoder is changes nothing.
  stream->Seek(0);
  ReadFrames(*stream, 1001);
  stream->Seek(1001);
  EXPECT_TRUE(std::equal(whole.begin() + 1001, whole.begin() + 1401, ReadFrames(*stream, 400).begin()));

  // A seek elsewhere keeps the decoder's state and lands on the sample, odd ones too: once a
  // pause has brought the step down to where a continuous decoding has it, the samples are
  // those of the continuous decoding, not shifted by one.
  std::vector<int32_t> paused = Tone(9000);
  for (size_t i = 0; i < paused.size(); ++i) {
    if (i % 3000 >= 2000) paused[i] = 0;
  }
  LRef<LSoundStream> pausedStream = MakeRef<LVoxStream>(WriteVox("paused.vox", paused), 8000);
  const std::vector<int32_t> continuous = ReadFrames(*pausedStream, 9000);
  for (int32_t at : {1001, 1000, 777}) {
    pausedStream->Seek(8000);
    ReadFrames(*pausedStream, 300);
    pausedStream->Seek(at);
    const std::vector<int32_t> got = ReadFrames(*pausedStream, 4000 - at);
    const std::vector<int32_t> settled(got.begin() + (3200 - at), got.end());
    EXPECT_GT(SnrDb(std::vector<int32_t>(continuous.begin() + 3200, continuous.begin() + 4000), settled), 30.0) << at;
  }
  stream->Seek(-20);
  std::vector<int32_t> start = ReadFrames(*stream, 60);
  EXPECT_TRUE(std::all_of(start.begin(), start.begin() + 20, [](int32_t s) { return s == 0; }));
  EXPECT_TRUE(std::equal(start.begin() + 20, start.end(), whole.begin()));
}

TEST(VoxTest, ExchangesFilesWithSox) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  const std::string wav = MakeSoxSignal("vox_in.wav", 8000, 1, 2.0);
  const std::vector<int16_t> input = SoxSamples16(wav);
  const std::vector<std::string> voxType = {"-t", "vox", "-r", "8000", "-c", "1"};

  // sox's file read by Klangor: 8 x sox's 16-bit decoding (half sox's level), up to the leak.
  const std::string theirs = TestPath("sox.vox");
  RunTool({"sox", "-V1", "-D", wav, "-t", "vox", theirs});
  const std::vector<int16_t> soxDecoded = SoxSamples16(theirs, voxType);
  LRef<LSoundStream> stream = OpenRawFile({8000, 1, 0}, theirs);
  ASSERT_TRUE(stream->Usable());
  ASSERT_EQ(static_cast<size_t>(stream->Length()), soxDecoded.size());
  const double snrRead = SnrDb(soxDecoded, ReadFrames(*stream, stream->Length()), 8.0);
  // Klangor's file read by sox: twice the input, up to the leak.
  std::vector<int32_t> internal;
  for (int16_t s : input) internal.push_back(s * 16);
  const std::string ours = WriteVox("ours.vox", internal);
  EXPECT_EQ(test::ReadBytes(ours).size(), input.size() / 2);
  const double snrWritten = SnrDb(input, SoxSamples16(ours, voxType), 2.0);
  std::cout << "[ VOX      ] Klangor reading sox's file against sox's decoding: " << snrRead
            << " dB; sox reading Klangor's file against the input: " << snrWritten << " dB\n";
  EXPECT_GT(snrRead, 10.0);
  EXPECT_GT(snrWritten, 8.0);
}

}  // namespace
}  // namespace klangor
