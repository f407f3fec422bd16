// The Linux layer: retrying opens, 64-bit file offsets, paths, the private temporary folder,
// safe replacing, folder locks, child processes, and the sequential writer.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <ctime>
#include <vector>

#include "platform/event.h"
#include "platform/file.h"
#include "platform/folder_lock.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/retry_open.h"
#include "platform/safe_replace.h"
#include "platform/second_lane.h"
#include "platform/sequential_writer.h"
#include "support/test_env.h"

namespace klangor {
namespace {

TEST(RetryOpenTest, WaitsDoubleWithinTheBudgetWhileShared) {
  std::vector<int> waits;
  int attempts = 0;
  int error = RetryWhileShared([&] { ++attempts; return EBUSY; }, 1000,
                               [&](int ms) { waits.push_back(ms); });
  EXPECT_EQ(error, EBUSY);
  // (1000 + 127) / 256 = 4, doubling until the budget of 1000 ms is used.
  EXPECT_EQ(waits, (std::vector<int>{4, 8, 16, 32, 64, 128, 256, 512}));
  EXPECT_EQ(attempts, 9);

  // Other errors and success end at once.
  waits.clear();
  attempts = 0;
  EXPECT_EQ(RetryWhileShared([&] { return ++attempts < 3 ? EBUSY : 0; }, 1000,
                             [&](int ms) { waits.push_back(ms); }),
            0);
  EXPECT_EQ(waits.size(), 2u);
  EXPECT_EQ(RetryWhileShared([] { return ENOENT; }, 1000, [&](int ms) { waits.push_back(ms); }),
            ENOENT);
  EXPECT_EQ(waits.size(), 2u);
  EXPECT_FALSE(OpenForReadingRetrying(test::TempPath(".missing"), 1000).IsOpen());

  // A budget below 129 ms gives a first wait of 0 ms by the rule; the attempts must still
  // end (at the latest after the budget in 1 ms steps) instead of spinning forever.
  for (int budget : {0, 1, 100, 128}) {
    waits.clear();
    attempts = 0;
    EXPECT_EQ(RetryWhileShared([&] { return ++attempts < 100000 ? EBUSY : 0; }, budget,
                               [&](int ms) { waits.push_back(ms); }),
              EBUSY)
        << budget;
    int waited = 0;
    for (int ms : waits) waited += ms;
    EXPECT_GE(waited, budget);
    EXPECT_LT(waited, 2 * budget + 2);
  }
}

TEST(FileTest, OffsetsBeyondFourGigabytes) {
  std::string path = test::TempPath(".bin");
  LFile file = LFile::Open(path, LFileMode::kCreateAlways);
  ASSERT_TRUE(file.IsOpen());
  const int64_t far = int64_t{5} << 30;
  ASSERT_TRUE(file.WriteAt(far, "abcd", 4));
  EXPECT_EQ(file.Size(), far + 4);
  char got[8] = {};
  EXPECT_EQ(file.ReadAt(far + 2, got, 8), 2);  // short only at the end
  EXPECT_EQ(std::string(got, 2), "cd");
  ASSERT_TRUE(file.Truncate(10));
  EXPECT_EQ(file.Size(), 10);
}

TEST(FileTest, FoldersAndMissingFilesDoNotOpen) {
  LFile folder = LFile::Open(test::TempDir(), LFileMode::kRead);
  EXPECT_FALSE(folder.IsOpen());
  EXPECT_EQ(folder.OpenError(), EISDIR);
  LFile missing = LFile::Open(test::TempPath(".none"), LFileMode::kRead);
  EXPECT_EQ(missing.OpenError(), ENOENT);
}

TEST(PathsTest, JoinAndSplit) {
  EXPECT_EQ(JoinPath("a", "b"), "a/b");
  EXPECT_EQ(JoinPath("a/", "b"), "a/b");
  EXPECT_EQ(JoinPath("", "b"), "b");
  EXPECT_EQ(FileNameOf("/x/y/z.wav"), "z.wav");
  EXPECT_EQ(FolderOf("/x/y/z.wav"), "/x/y");
  EXPECT_EQ(FolderOf("z.wav"), ".");
  EXPECT_EQ(FolderOf("/z.wav"), "/");
}

TEST(PathsTest, TemporaryFolderIsPrivate) {
  std::string folder = TemporaryFolder();
  ASSERT_FALSE(folder.empty());
  struct stat info;
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 077, 0u);
}

TEST(SafeReplaceTest, TargetChangesOnlyOnCommit) {
  std::string target = test::TempPath(".wav");
  test::WriteBytes(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  {
    LSafeReplace replace(target);
    ASSERT_TRUE(replace.Ready());
    test::WriteBytes(replace.TempPath(), "half");
  }  // no commit: the old file stays, the temporary file goes
  EXPECT_EQ(test::ReadBytes(target), "old");
  std::string tempPath;
  {
    LSafeReplace replace(target);
    tempPath = replace.TempPath();
    test::WriteBytes(tempPath, "new");
    ASSERT_TRUE(replace.Commit());
  }
  EXPECT_EQ(test::ReadBytes(target), "new");
  EXPECT_FALSE(FileExists(tempPath));
  struct stat info;
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// A file whose name is close to the 255-byte limit of one name can be replaced too: the
// temporary file next to it must not need a longer name.
TEST(SafeReplaceTest, NamesNearTheLengthLimitCanBeReplaced) {
  const std::string folder = test::TempDir() + "/longnames";
  ASSERT_TRUE(EnsureFolder(folder));
  std::string umlauts;
  for (int i = 0; i < 125; ++i) umlauts += "\xC3\xA4";  // "ä", two bytes each
  for (const std::string& name : {std::string(251, 'a') + ".wav", umlauts + ".au"}) {
    const std::string target = folder + "/" + name;
    test::WriteBytes(target, "old");
    LSafeReplace replace(target);
    ASSERT_TRUE(replace.Ready()) << name.size();
    EXPECT_EQ(FolderOf(replace.TempPath()), folder);
    test::WriteBytes(replace.TempPath(), "new");
    ASSERT_TRUE(replace.Commit());
    EXPECT_EQ(test::ReadBytes(target), "new");
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{name});
    RemoveFile(target);
  }
}

// What a killed save leaves (no lock, a minute old) goes when the same target is saved
// again; a save in progress (locked), a fresh file and another target's files stay.
TEST(SafeReplaceTest, LeftoversOfAKilledSaveAreRemoved) {
  const std::string folder = test::TempDir() + "/leftovers";
  ASSERT_TRUE(EnsureFolder(folder));
  const std::string target = folder + "/song.wav";
  auto age = [](const std::string& path) {
    struct timespec times[2] = {{::time(nullptr) - 120, 0}, {::time(nullptr) - 120, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  };
  const std::string killed = folder + "/.song.wav.klangor-AbC123";
  const std::string fresh = folder + "/.song.wav.klangor-Fresh1";
  const std::string other = folder + "/.other.wav.klangor-Old123";
  const std::string unlike = folder + "/.song.wav.klangor-toolong";
  for (const std::string& path : {killed, fresh, other, unlike}) test::WriteBytes(path, "half");
  age(killed);
  age(other);
  age(unlike);
  LSafeReplace running(target);  // another save of the same target, still writing
  ASSERT_TRUE(running.Ready());
  age(running.TempPath());

  LSafeReplace replace(target);
  ASSERT_TRUE(replace.Ready());
  EXPECT_FALSE(FileExists(killed));
  for (const std::string& path : {fresh, other, unlike, running.TempPath(), replace.TempPath()}) {
    EXPECT_TRUE(FileExists(path)) << path;
  }
  test::WriteBytes(replace.TempPath(), "new");
  ASSERT_TRUE(replace.Commit());
  EXPECT_EQ(test::ReadBytes(target), "new");
}

TEST(SafeReplaceTest, NoTemporaryFileIsLeftBehind) {
  std::string folder = test::TempDir() + "/replace";
  ASSERT_TRUE(EnsureFolder(folder));
  { LSafeReplace replace(folder + "/out.wav"); }
  EXPECT_TRUE(ListFolder(folder).empty());
  LSafeReplace nowhere("/nonexistent-folder/out.wav");
  EXPECT_FALSE(nowhere.Ready());
  EXPECT_FALSE(nowhere.Commit());
}

TEST(FolderLockTest, OneHolderAtATime) {
  std::string lockFile = test::TempPath(".lock");
  LFolderLock first;
  ASSERT_TRUE(first.TryLock(lockFile));
  LFolderLock second;
  EXPECT_FALSE(second.TryLock(lockFile));
  first.Unlock();
  EXPECT_TRUE(second.TryLock(lockFile, /*create=*/false));
  LFolderLock missing;
  EXPECT_FALSE(missing.TryLock(test::TempPath(".absent"), /*create=*/false));
}

TEST(ProcessTest, RunsProgramsWithoutAShell) {
  LProcessOptions capture;
  capture.captureOutput = true;
  LProcessResult echo = RunProgram({"echo", "a b", "$HOME;"}, capture);
  EXPECT_TRUE(echo.started);
  EXPECT_EQ(echo.exitCode, 0);
  EXPECT_EQ(echo.output, "a b $HOME;\n");
  EXPECT_EQ(RunProgram({"false"}).exitCode, 1);
  EXPECT_FALSE(RunProgram({"klangor-no-such-program"}).started);
}

TEST(SequentialWriterTest, BothModesWriteTheSameBytes) {
  std::string pattern;
  for (int i = 0; i < 3'500'000; ++i) pattern.push_back(static_cast<char>(i * 7 % 251));
  for (LWriteMode mode : {LWriteMode::kDirect, LWriteMode::kBackground}) {
    std::string path = test::TempPath(".bin");
    LFile file = LFile::Open(path, LFileMode::kCreateAlways);
    file.SetPosition(10);
    LSequentialWriter writer(std::move(file), mode);
    for (size_t at = 0; at < pattern.size(); at += 65536) {
      writer.Write(pattern.data() + at, static_cast<int64_t>(std::min<size_t>(65536, pattern.size() - at)));
    }
    writer.SetPosition(5);  // everything before is flushed, writing continues from byte 5
    writer.Write("abcde", 5);
    ASSERT_TRUE(writer.Flush());
    EXPECT_EQ(writer.File().Size(), 10 + static_cast<int64_t>(pattern.size()));
    std::string bytes = test::ReadBytes(path);
    EXPECT_EQ(bytes.substr(5, 5), "abcde");
    EXPECT_EQ(bytes.substr(10), pattern);
  }
}

TEST(SequentialWriterTest, AFailedWriteIsReportedByFlush) {
  for (LWriteMode mode : {LWriteMode::kDirect, LWriteMode::kBackground}) {
    LFile readOnly = LFile::Open(test::TempDir() + "/ro", LFileMode::kCreateAlways);
    readOnly.Close();
    LFile file = LFile::Open(test::TempDir() + "/ro", LFileMode::kRead);
    LSequentialWriter writer(std::move(file), mode);
    std::vector<char> data(3 << 20, 'x');
    writer.Write(data.data(), static_cast<int64_t>(data.size()));
    EXPECT_FALSE(writer.Flush());
    EXPECT_TRUE(writer.Failed());
  }
}

TEST(EventTest, ManualResetAndWaitingForAnyOfSeveral) {
  using namespace std::chrono_literals;
  LEvent stop;
  LEvent work;
  EXPECT_EQ(LEvent::WaitAny({&stop, &work}, 20ms), -1);
  work.Set();
  EXPECT_EQ(LEvent::WaitAny({&stop, &work}, 0ms), 1);
  EXPECT_TRUE(work.Wait(0ms));  // stays set until reset
  work.Reset();
  std::thread setter([&stop] {
    std::this_thread::sleep_for(30ms);
    stop.Set();
  });
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(LEvent::WaitAny({&stop, &work}, 5000ms), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 2000ms);
  setter.join();
}

// The lane's work sees what was written before Begin and the owner sees the work's writes
// after Finish, round after round, also when the lane has gone to sleep in between; a lane
// that never ran ends cleanly.
TEST(SecondLaneTest, WorkRunsInStepWithItsOwner) {
  { LSecondLane idle([] {}); }
  std::vector<int> values(64);
  int round = 0;
  int sum = 0;
  LSecondLane lane([&] {
    sum = 0;
    for (int& v : values) sum += v += round;
  });
  int expected = 0;
  for (round = 1; round <= 3000; ++round) {
    lane.Begin();
    lane.Finish();
    expected += round;
    ASSERT_EQ(sum, 64 * expected) << round;
    if (round % 1000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace
}  // namespace klangor
