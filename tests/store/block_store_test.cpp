// The block store (numbers, reference counts, files, the locked folder of each process) and the
// block writer (file sizes, peak summary, seeking back).

#include <gtest/gtest.h>
#include <sys/time.h>

#include <ctime>
#include <limits>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/folder_lock.h"
#include "platform/paths.h"
#include "store/block_store.h"
#include "store/block_writer.h"
#include "store/segment_stream.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

LBlockStore& Store() { return LBlockStore::Instance(); }

std::string PeaksOf(const LSegmentList& list) {
  return test::ReadBytes(Store().FileName(list.Segments().at(0).Block(), LBlockFile::kPeaks));
}

TEST(BlockStoreTest, AllocatesLowestFreeNumberFirst) {
  uint16_t a = Store().Allocate();
  uint16_t b = Store().Allocate();
  uint16_t c = Store().Allocate();
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(c, b + 1);
  Store().Release(b);
  EXPECT_EQ(Store().ReferenceCount(b), 0);
  EXPECT_EQ(Store().Allocate(), b);
  for (uint16_t n : {a, b, c}) Store().Release(n);
}

TEST(BlockStoreTest, LastReleaseDeletesBothFilesAndStickyCountsStay) {
  LSegmentList list = test::MakeSound(44100, 1, std::vector<int32_t>(300, 5));
  const uint16_t block = list.Segments()[0].Block();
  const std::string audio = Store().FileName(block, LBlockFile::kAudio);
  const std::string peaks = Store().FileName(block, LBlockFile::kPeaks);
  EXPECT_EQ(FileNameOf(audio), std::to_string(block) + ".aud");
  EXPECT_EQ(FileNameOf(peaks), std::to_string(block) + ".grf");
  EXPECT_TRUE(FileExists(audio) && FileExists(peaks));
  EXPECT_EQ(Store().ReferenceCount(block), 1);
  {
    LSegmentList copy = list;
    EXPECT_EQ(Store().ReferenceCount(block), 2);
  }
  EXPECT_EQ(Store().ReferenceCount(block), 1);
  list.Clear();
  EXPECT_EQ(Store().ReferenceCount(block), 0);
  EXPECT_FALSE(FileExists(audio) || FileExists(peaks));
  Store().Release(block);  // releasing a free number again is harmless

  uint16_t sticky = Store().Allocate();
  for (int i = 1; i < 65535; ++i) Store().AddReference(sticky);
  EXPECT_EQ(Store().ReferenceCount(sticky), 65535);
  Store().AddReference(sticky);
  Store().Release(sticky);
  EXPECT_EQ(Store().ReferenceCount(sticky), 65535);
  EXPECT_TRUE(Store().FileName(kNoBlock, LBlockFile::kAudio).empty());
}

TEST(BlockStoreTest, EachProcessWorksInItsOwnLockedSubfolder) {
  const std::string mine = Store().BlockFolder();
  EXPECT_EQ(FolderOf(mine), Store().WorkingFolder());
  // Another process's live folder (its lock is held), a crashed one's (lock free, untouched for
  // minutes) and one a starting process has just made (its lock file not locked yet).
  const std::string work = Store().WorkingFolder();
  const std::string live = work + "/klangor-blocks-live01";
  const std::string dead = work + "/klangor-blocks-dead01";
  const std::string starting = work + "/klangor-blocks-new001";
  const std::string userFolder = work + "/my-recordings";
  for (const std::string& folder : {live, dead, starting, userFolder}) ASSERT_TRUE(EnsureFolder(folder));
  LFolderLock liveLock;
  ASSERT_TRUE(liveLock.TryLock(live + "/lock"));
  test::WriteBytes(live + "/3.aud", "x");
  test::WriteBytes(dead + "/lock", "");
  test::WriteBytes(dead + "/17.aud", "x");
  test::WriteBytes(dead + "/99.grf", "x");
  const timeval minutesAgo[2] = {{::time(nullptr) - 600, 0}, {::time(nullptr) - 600, 0}};
  ASSERT_EQ(::utimes(dead.c_str(), minutesAgo), 0);
  test::WriteBytes(starting + "/lock", "");
  test::WriteBytes(userFolder + "/take.aud", "x");

  LBlockStore::RemoveStaleBlockFolders(work);
  EXPECT_TRUE(FileExists(live + "/3.aud"));
  EXPECT_FALSE(IsFolder(dead));
  EXPECT_TRUE(FileExists(starting + "/lock"));
  EXPECT_TRUE(FileExists(userFolder + "/take.aud"));
  EXPECT_TRUE(IsFolder(mine));
}

// A playback thread drops the last reference to a block while the editing thread writes a new
// one: the freed number must not be handed out before its old files are gone, or the deletion
// takes the new block's files with it.
TEST(BlockStoreTest, ReleasingOnOneThreadNeverDeletesABlockWrittenOnAnother) {
  auto work = [](int32_t value, int rounds, int* lost) {
    for (int i = 0; i < rounds; ++i) {
      LSegmentList list = test::MakeSound(8000, 1, std::vector<int32_t>(4, value));
      if (test::ReadAll(*OpenSegmentStream(list)) != std::vector<int32_t>(4, value)) ++*lost;
    }
  };
  int lostA = 0, lostB = 0;
  std::thread other(work, 111, 3000, &lostA);
  work(222, 3000, &lostB);
  other.join();
  EXPECT_EQ(lostA + lostB, 0);
}

TEST(BlockWriterTest, FileSizesAndPeakSummary) {
  // 1000 stereo frames: 8000 bytes of audio, 4 groups (3 full, one of 232) x 2 x 2 bytes.
  std::vector<int32_t> samples(2000, 0);
  for (int f = 0; f < 256; ++f) {
    samples[2 * f] = (f % 2 ? -2047 : 2047);  // group 0, left: below the 11-bit step
    samples[2 * f + 1] = -600000;             // group 0, right: only negative, capped
  }
  samples[2 * 300] = 600000;                  // group 1, left
  samples[2 * 300 + 1] = 4096;                // group 1, right: 4096 >> 11 = 2
  samples[2 * 999 + 1] = std::numeric_limits<int32_t>::min();  // last group
  LSegmentList list = test::MakeSound(48000, 2, samples);
  ASSERT_EQ(list.Segments().size(), 1u);
  EXPECT_EQ(list.SampleRate(), 48000);
  EXPECT_EQ(list.Channels(), 2);
  EXPECT_EQ(list.Length(), 1000);
  const LSegment& segment = list.Segments()[0];
  EXPECT_EQ(segment.gain, kUnityGain);
  EXPECT_EQ(segment.start, 0);
  EXPECT_EQ(test::ReadBytes(Store().FileName(segment.Block(), LBlockFile::kAudio)).size(), 8000u);
  const std::string peaks = PeaksOf(list);
  ASSERT_EQ(peaks.size(), 16u);
  auto at = [&](int group, int channel, int which) {
    return static_cast<uint8_t>(peaks[(group * 2 + channel) * 2 + which]);
  };
  EXPECT_EQ(at(0, 0, 0), 0);
  EXPECT_EQ(at(0, 0, 1), 0);
  EXPECT_EQ(at(0, 1, 0), 0);
  EXPECT_EQ(at(0, 1, 1), 255);
  EXPECT_EQ(at(1, 0, 0), 255);
  EXPECT_EQ(at(1, 1, 0), 2);
  EXPECT_EQ(at(3, 1, 1), 255);
  EXPECT_EQ(Store().ReferenceCount(segment.Block()), 1);
}

// The recorder seeks back to drop a quiet tail. The group the seek lands in keeps the frames
// before it, so its entry must still cover them; a group that starts at the seek is new.
TEST(BlockWriterTest, SeekRewritesFromTheFrameAndTheGroupStillCoversWhatStays) {
  for (int32_t seek : {300, 560, 256}) {
    LSegmentList list;
    auto writer = MakeRef<LBlockWriter>(44100, list, 1);
    std::vector<int32_t> loud(600, 300000);
    writer->Write(loud.data(), 600);
    writer->Seek(seek);  // 300: into a finished group; 560: into the group being filled
    std::vector<int32_t> quiet(1024 - static_cast<size_t>(seek), 4096);
    writer->Write(quiet.data(), static_cast<int32_t>(quiet.size()));
    writer->Finish();
    EXPECT_EQ(list.Length(), 1024);
    const std::string peaks = PeaksOf(list);
    ASSERT_EQ(peaks.size(), 8u);
    const int group = seek / 256;
    EXPECT_EQ(static_cast<uint8_t>(peaks[0]), 146);  // 300000 >> 11
    EXPECT_EQ(static_cast<uint8_t>(peaks[2 * group]), seek % 256 == 0 ? 2 : 146) << seek;
    EXPECT_EQ(static_cast<uint8_t>(peaks[6]), 2);  // 4096 >> 11
    std::vector<int32_t> audio = test::ReadAll(*OpenSegmentStream(list));
    EXPECT_EQ(audio[static_cast<size_t>(seek) - 1], 300000);
    EXPECT_EQ(audio[static_cast<size_t>(seek)], 4096);
    EXPECT_EQ(audio[1023], 4096);
  }
}

TEST(BlockWriterTest, NothingWrittenLeavesAnEmptyListAndNoBlock) {
  LSegmentList list = test::MakeSound(44100, 2, {});
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(list.Channels(), 2);
  uint16_t next = Store().Allocate();
  Store().Release(next);
  EXPECT_EQ(Store().ReferenceCount(next), 0);
}

}  // namespace
}  // namespace klangor
