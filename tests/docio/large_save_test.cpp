// Documents beyond 4 GB of WAV data: saved as RF64, read to their full length by sox, ffmpeg
// and Klangor; the largest document that 32-bit sizes can count stays plain RIFF. Each test
// writes gigabytes (label "slow") and removes its file.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "docio/load_save.h"
#include "formats/format_table.h"
#include "formats/wav_file.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "store/range_process.h"
#include "store/segment_stream.h"
#include "support/test_env.h"
#include "support/test_signals.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

constexpr int32_t kPieceFrames = 44100;

uint32_t LoadLe32Of(const std::string& bytes, size_t at) { return LoadLe32(bytes, at); }
uint16_t LoadLe16Of(const std::string& bytes, size_t at) {
  return LoadLe16(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}
int64_t FileSizeOf(const std::string& path) { return LFile::Open(path, LFileMode::kRead).Size(); }

// Stereo 16-bit values (as the file holds them) of frame f of the document below.
int16_t Sample(int64_t frame, int channel) {
  const auto f = static_cast<uint32_t>(frame % kPieceFrames);
  return static_cast<int16_t>(((f * 2654435761u) >> 16) + static_cast<uint32_t>(channel) * 977);
}

// `frames` frames of stereo made of one second of noise, repeated (only segments are copied).
LSegmentList RepeatedNoise(int32_t frames) {
  std::vector<int32_t> samples;
  for (int32_t f = 0; f < kPieceFrames; ++f) {
    for (int c = 0; c < 2; ++c) samples.push_back(Sample(f, c) * 16);
  }
  const LSegmentList piece = test::MakeSound(44100, 2, samples);
  LSegmentList sound = piece;
  EXPECT_EQ(RepeatRangeCompact(sound, 0, kPieceFrames, frames / kPieceFrames - 1), LResult::kDone);
  LSegmentList rest = piece;
  rest.TrimEnd(frames % kPieceFrames);
  sound.Insert(sound.Length(), rest);
  EXPECT_EQ(sound.Length(), frames);
  return sound;
}

// Saves `frames` frames as WAV and returns the path (empty when the disk is too small).
std::string Save(int32_t frames) {
  const std::string path = test::TempPath(".wav");
  if (FreeBytesAvailable(FolderOf(path)) < int64_t{frames} * 4 + (int64_t{1} << 30)) return {};
  LSilentProgress progress;
  const LFormatEntry* wave = FindFormat("wav");
  EXPECT_EQ(SaveStream(OpenSegmentStream(RepeatedNoise(frames)), path,
                       [&](const std::string& target) { return wave->create(target, 44100, 2, LFormatSettings{}); },
                       progress),
            LResult::kDone);
  return path;
}

std::string Head(const std::string& path) {
  std::string head(kRoomyWaveHeaderBytes, '\0');
  LFile file = LFile::Open(path, LFileMode::kRead);
  EXPECT_EQ(file.ReadAt(0, head.data(), kRoomyWaveHeaderBytes), kRoomyWaveHeaderBytes);
  return head;
}

// Klangor reads the last frames where they belong.
void ExpectKlangorReadsTheEnd(const std::string& path, int64_t frames) {
  LRef<LSoundStream> stream = OpenWaveFile(path);
  ASSERT_TRUE(stream->Usable());
  ASSERT_EQ(stream->Length(), frames);
  stream->Seek(static_cast<int32_t>(frames - 2));
  const std::vector<int32_t> tail = test::ReadFrames(*stream, 2);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(tail[i], Sample(frames - 2 + i / 2, i % 2) * 16) << i;
}

TEST(LargeSave, TheLongestStereoDocumentSavesAsRf64ThatThePeersReadToTheEnd) {
  const int64_t frames = INT32_MAX;
  const std::string path = Save(INT32_MAX);
  if (path.empty()) GTEST_SKIP() << "not enough free space for 8 GB";
  const std::string head = Head(path);
  EXPECT_EQ(head.substr(0, 4), "RF64");
  EXPECT_EQ(head.substr(12, 4), "ds64");
  ExpectKlangorReadsTheEnd(path, frames);

  if (test::HaveProgram("soxi")) {
    EXPECT_EQ(std::stoll(test::RunTool({"soxi", "-s", path})), frames);
    const std::string tail = test::TempPath(".raw");
    test::RunTool({"sox", path, "-t", "s16", tail, "trim", std::to_string(frames - 2) + "s"});
    const std::string bytes = test::ReadBytes(tail);
    ASSERT_EQ(bytes.size(), 8u);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(static_cast<int16_t>(LoadLe16Of(bytes, 2 * i)), Sample(frames - 2 + i / 2, i % 2)) << i;
    }
    RemoveFile(tail);
  }
  if (test::HaveProgram("ffprobe")) {
    EXPECT_EQ(std::stoll(test::RunTool({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                                        "stream=duration_ts", "-of", "default=nw=1:nk=1", path})),
              frames);
    const std::string raw = test::RunTool({"ffmpeg", "-v", "error", "-ss", std::to_string((frames - 4410) / 44100.0),
                                           "-i", path, "-f", "s16le", "-"});
    EXPECT_NEAR(static_cast<double>(raw.size()) / 4, 4410, 2);
    ASSERT_GE(raw.size(), 8u);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(static_cast<int16_t>(LoadLe16Of(raw, raw.size() - 8 + 2 * i)), Sample(frames - 2 + i / 2, i % 2)) << i;
    }
  }
  RemoveFile(path);
}

// The RIFF size counts the data and 38 header bytes and must stay below all ones (which
// means "still being written"): 1073741814 stereo frames are the most a plain file holds.
TEST(LargeSave, PlainRiffUpToTheLastFrameThatThirtyTwoBitsCount) {
  const int32_t plainFrames = (0xFFFFFFFEu - 38) / 4;
  for (int32_t frames : {plainFrames, plainFrames + 1}) {
    const std::string path = Save(frames);
    if (path.empty()) GTEST_SKIP() << "not enough free space for 4 GB";
    const std::string head = Head(path);
    const int64_t dataBytes = int64_t{frames} * 4;
    if (frames == plainFrames) {
      EXPECT_EQ(head.substr(0, 4), "RIFF");
      EXPECT_EQ(LoadLe32Of(head, 4), dataBytes + 38);
      EXPECT_EQ(head.substr(38, 4), "data");
      EXPECT_EQ(LoadLe32Of(head, 42), dataBytes);
      EXPECT_EQ(FileSizeOf(path), 46 + dataBytes);
    } else {
      EXPECT_EQ(head.substr(0, 4), "RF64");
      EXPECT_EQ(FileSizeOf(path), kRoomyWaveHeaderBytes + dataBytes);
    }
    ExpectKlangorReadsTheEnd(path, frames);
    if (test::HaveProgram("soxi")) {
      EXPECT_EQ(std::stoll(test::RunTool({"soxi", "-s", path})), frames);
    }
    RemoveFile(path);
  }
}

}  // namespace
}  // namespace klangor
