// Reading a segment list as a stream (positions outside it, slicing, snapshots, saturating
// gains, missing block files), the document's selection rules, and processing a selection.

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "platform/file.h"
#include "store/range_process.h"
#include "store/segment_stream.h"
#include "store/sound_document.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

// A stereo sound whose frame i holds (i, -i) x 16.
LSegmentList Stereo(int32_t frames) {
  std::vector<int32_t> samples;
  for (int32_t i = 0; i < frames; ++i) {
    samples.push_back(i * 16);
    samples.push_back(-i * 16);
  }
  return test::MakeSound(44100, 2, samples);
}

TEST(SegmentStreamTest, NegativePositionsAndReadsPastTheEnd) {
  LSegmentList list = Stereo(500);
  LRef<LSoundStream> stream = OpenSegmentStream(list);
  EXPECT_EQ(stream->FullScale(), 2097152);
  EXPECT_EQ(stream->Channels(), 2);
  stream->Seek(-10);
  std::vector<int32_t> buffer(2 * 20, 99);
  stream->Read(buffer.data(), 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(buffer[static_cast<size_t>(i)], 0);
  EXPECT_EQ(buffer[20], 0);
  EXPECT_EQ(buffer[22], 16);
  EXPECT_EQ(buffer[39], -9 * 16);

  std::vector<int32_t> tail(2 * 4096, 99);
  stream->Seek(400);
  stream->Read(tail.data(), 4096);
  EXPECT_EQ(tail[0], 400 * 16);
  EXPECT_EQ(tail[2 * 99 + 1], -499 * 16);
  EXPECT_EQ(tail[2 * 100], 0);
  EXPECT_EQ(tail.back(), 0);
  EXPECT_EQ(stream->Position(), 400 + 4096);
}

// A seek lands on the same frames as reading up to there (slicing: the contract suite).
TEST(SegmentStreamTest, SeeksLandWhereReadingWould) {
  LSegmentList list = Stereo(3000);
  list.DeleteRange(100, 200);
  list.InsertSilence(500, 77);
  list.ScaleRangeGain(1000, 1500, 150);
  LRef<LSoundStream> stream = OpenSegmentStream(list);
  std::vector<int32_t> whole = test::ReadAll(*stream);
  for (int32_t frame : {0, 99, 100, 499, 577, 1234, 2899}) {
    stream->Seek(frame);
    int32_t two[2];
    stream->Read(two, 1);
    EXPECT_EQ(two[0], whole[static_cast<size_t>(frame) * 2]) << frame;
  }
}

TEST(SegmentStreamTest, StreamKeepsItsSnapshotWhileTheListChanges) {
  LSegmentList list = Stereo(1000);
  LRef<LSoundStream> stream = OpenSegmentStream(list);
  const uint16_t block = list.Segments()[0].Block();
  list.Clear();
  EXPECT_EQ(LBlockStore::Instance().ReferenceCount(block), 1);  // held by the stream's copy
  std::vector<int32_t> audio = test::ReadAll(*stream);
  EXPECT_EQ(audio[2 * 999], 999 * 16);
  stream.Reset();
  EXPECT_EQ(LBlockStore::Instance().ReferenceCount(block), 0);
}

TEST(SegmentStreamTest, LoudGainsSaturateInsteadOfWrapping) {
  LSegmentList list = test::MakeSound(44100, 1, {100000000, -100000000, 1000});
  list.ScaleGain(30000);  // the largest gain: read gain 65535
  ASSERT_EQ(list.Segments()[0].gain, kMaxGain);
  std::vector<int32_t> audio = test::ReadAll(*OpenSegmentStream(list));
  EXPECT_EQ(audio[0], std::numeric_limits<int32_t>::max());
  EXPECT_EQ(audio[1], std::numeric_limits<int32_t>::min());
  EXPECT_EQ(audio[2], (65535 * 1000) >> 9);
}

TEST(SegmentStreamTest, MissingBlockFileReadsAsSilence) {
  LSegmentList list = Stereo(100);
  RemoveFile(LBlockStore::Instance().FileName(list.Segments()[0].Block(), LBlockFile::kAudio));
  std::vector<int32_t> audio = test::ReadAll(*OpenSegmentStream(list));
  EXPECT_EQ(audio, std::vector<int32_t>(200, 0));
}

TEST(SoundDocumentTest, SelectionAndVisibleRangeInvariants) {
  auto document = MakeRef<LSoundDocument>();
  EXPECT_EQ(document->sound.SampleRate(), 44100);
  EXPECT_FALSE(document->HasSelection());
  document->sound = Stereo(1000);
  document->SetSelection(800, -20, 5);
  EXPECT_EQ(document->selectionStart, -20);
  EXPECT_EQ(document->selectionEnd, 800);
  EXPECT_EQ(document->cursor, 5);
  document->selectionEnd = 5000;
  document->ClampSelection();
  EXPECT_EQ(document->selectionStart, 0);
  EXPECT_EQ(document->selectionEnd, 1000);
  EXPECT_TRUE(document->HasSelection());

  document->visibleStart = 900;
  document->visibleEnd = 1000;
  document->sound.TrimEnd(500);
  document->LengthChanged();
  EXPECT_EQ(document->visibleStart, 0);
  EXPECT_EQ(document->visibleEnd, 500);
  document->sound.Clear();
  document->LengthChanged();
  EXPECT_EQ(document->visibleEnd, 44100);  // an empty sound shows one second
}

TEST(RangeProcessTest, ProcessedSelectionReplacesOnlyOnSuccess) {
  auto document = MakeRef<LSoundDocument>();
  document->sound = Stereo(50000);
  document->SetSelection(1000, 30000, 0);
  auto invert = [](LRef<LSoundStream> input) -> LRef<LSoundStream> {
    return MakeRef<test::LNegateFilter>(std::move(input));
  };
  const std::vector<int32_t> before = test::ReadAll(*OpenSegmentStream(document->sound));

  test::LCancelAfter cancel(1);
  EXPECT_EQ(ProcessSelection(*document, invert, cancel), LResult::kCancelled);
  EXPECT_EQ(test::ReadAll(*OpenSegmentStream(document->sound)), before);

  LSilentProgress progress;
  EXPECT_EQ(ProcessSelection(*document, invert, progress), LResult::kDone);
  std::vector<int32_t> after = test::ReadAll(*OpenSegmentStream(document->sound));
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after[2 * 999], before[2 * 999]);
  EXPECT_EQ(after[2 * 1000], -before[2 * 1000]);
  EXPECT_EQ(after[2 * 29999 + 1], -before[2 * 29999 + 1]);
  EXPECT_EQ(after[2 * 30000], before[2 * 30000]);
  EXPECT_EQ(document->selectionEnd, 30000);

  document->SetSelection(10, 10, 0);
  EXPECT_EQ(ProcessSelection(*document, invert, progress), LResult::kDone);
  EXPECT_EQ(document->Length(), 50000);
}

// Very many copies of a short range: the result is what plain segment copies would give, with
// few segments, and the largest repeat count of a one-frame loop does not exhaust memory.
TEST(RangeProcessTest, ManyRepeatsOfAShortRangeStayCompact) {
  LSegmentList sound = Stereo(10);
  ASSERT_EQ(RepeatRangeCompact(sound, 2, 5, 2000003), LResult::kDone);
  ASSERT_EQ(sound.Length(), 10 + 3 * 2000003);
  EXPECT_LT(sound.Segments().size(), 100u);
  LRef<LSoundStream> reader = OpenSegmentStream(sound);
  std::vector<int32_t> frame(2);
  for (int32_t at : {0, 1, 2, 3, 4, 5, 65537, 6000007, 6000008, 6000009, 6000010, 6000017, 6000018}) {
    // Frames 2..4 repeat until the original 2..9 follow.
    const int32_t expected = at < 2 ? at : at < 2 + 3 * 2000003 ? 2 + (at - 2) % 3 : at - 3 * 2000003;
    reader->Seek(at);
    reader->Read(frame.data(), 1);
    EXPECT_EQ(frame[0], expected * 16) << at;
  }

  LSegmentList single = Stereo(2);
  ASSERT_EQ(RepeatRangeCompact(single, 1, 2, INT32_MAX), LResult::kDone);
  EXPECT_EQ(single.Length(), INT32_MAX);
  LRef<LSoundStream> last = OpenSegmentStream(single);
  last->Seek(INT32_MAX - 1);
  last->Read(frame.data(), 1);
  EXPECT_EQ(frame[0], 16);
}

}  // namespace
}  // namespace klangor
