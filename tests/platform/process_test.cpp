// The child-process layer and the temporary files.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/temporary_file.h"
#include "support/test_env.h"

namespace klangor {
namespace {

// A process that still runs (a zombie left to an init that does not reap counts as gone).
bool ProcessExists(pid_t pid) {
  const std::string stat = test::ReadBytes("/proc/" + std::to_string(pid) + "/stat");
  const size_t paren = stat.rfind(')');
  return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

TEST(ChildProcess, PassesArgumentsLiterallyAndOnlyTheGivenDescriptors) {
  // A descriptor of ours without O_CLOEXEC must not reach the child.
  const std::string leaked = test::TempPath(".leak");
  const int fd = ::open(leaked.c_str(), O_CREAT | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  LSpawnOptions options;
  options.output = LChildDescriptor::Pipe();
  const std::string tricky = "a b 'c' \"d\" $(false) ;\n-x ä";
  // ls lists the shell's descriptors straight to the pipe: a pipeline or a redirection would
  // give the shell descriptors of its own for a moment.
  LChildProcess child =
      LChildProcess::Start({"sh", "-c", "printf '%s|' \"$1\"; ls /proc/$$/fd", "sh", tricky}, options);
  ASSERT_TRUE(child.Started());
  std::string output;
  char chunk[4096];
  for (ssize_t got; (got = ::read(child.OutputPipe(), chunk, sizeof chunk)) > 0;) output.append(chunk, got);
  ASSERT_TRUE(child.Wait(10000));
  EXPECT_TRUE(child.Status().Success());
  ::close(fd);
  EXPECT_EQ(output.substr(0, tricky.size() + 1), tricky + "|");
  // The shell has 0, 1 and 2, nothing else.
  EXPECT_EQ(output.substr(tricky.size() + 1), "0\n1\n2\n") << output;
}

TEST(ChildProcess, ReportsExitCodesSignalsAndErrorText) {
  LSpawnOptions options;
  options.error = LChildDescriptor::Pipe();
  LChildProcess failing = LChildProcess::Start({"sh", "-c", "echo first >&2; echo 'last line' >&2; exit 3"}, options);
  ASSERT_TRUE(failing.Wait(10000));
  EXPECT_TRUE(failing.Status().exited);
  EXPECT_EQ(failing.Status().exitCode, 3);
  EXPECT_EQ(failing.ErrorText(), "first\nlast line\n");

  LChildProcess crashing = LChildProcess::Start({"sh", "-c", "kill -SEGV $$"});
  ASSERT_TRUE(crashing.Wait(10000));
  EXPECT_FALSE(crashing.Status().exited);
  EXPECT_EQ(crashing.Status().signal, SIGSEGV);

  EXPECT_FALSE(LChildProcess::Start({"no-such-program-klangor"}).Started());
  EXPECT_FALSE(LChildProcess::Start({}).Started());
}

TEST(ChildProcess, StopEndsAChildThatIgnoresSigtermAndWhatItStarted) {
  // The child ignores SIGTERM and has a grandchild: both are gone after Stop, and reaped.
  const std::string pidFile = test::TempPath(".pids");
  LChildProcess child = LChildProcess::Start(
      {"sh", "-c", "trap '' TERM; sleep 60 & echo $$ $! > \"$0\"; wait", pidFile});
  ASSERT_TRUE(child.Started());
  std::string pids;
  for (int i = 0; i < 500 && pids.find(' ') == std::string::npos; ++i) {
    ::usleep(10000);
    pids = test::ReadBytes(pidFile);
  }
  EXPECT_FALSE(child.Wait(100));
  const auto start = std::chrono::steady_clock::now();
  child.Stop(300);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(child.Running());
  EXPECT_EQ(child.Status().signal, SIGKILL);
  const pid_t shell = std::stoi(pids);
  const pid_t sleeper = std::stoi(pids.substr(pids.find(' ') + 1));
  EXPECT_FALSE(ProcessExists(shell));
  for (int i = 0; i < 100 && ProcessExists(sleeper); ++i) ::usleep(10000);
  EXPECT_FALSE(ProcessExists(sleeper));
}

TEST(ChildProcess, TheDestructorStopsAndReapsARunningChild) {
  pid_t pid;
  {
    LChildProcess child = LChildProcess::Start({"sleep", "60"});
    ASSERT_TRUE(child.Started());
    pid = child.Pid();
    EXPECT_FALSE(child.Wait(0));
  }
  EXPECT_FALSE(ProcessExists(pid));
}

TEST(TemporaryFile, NumberedFilesSkipNumbersLockedElsewhereAndReplaceLeftovers) {
  const std::string folder = test::TempPath(".tmp");
  ASSERT_TRUE(EnsureFolder(folder, 0700));
  // Number 1 is held by another process's lock; number 2 was left behind by a crash.
  const std::string lock1 = JoinPath(folder, "Temp1.lck");
  LChildProcess holder = LChildProcess::Start({"flock", lock1, "sleep", "60"});
  ASSERT_TRUE(holder.Started());
  for (int i = 0; i < 500; ++i) {
    const int fd = ::open(lock1.c_str(), O_RDONLY);
    const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (fd >= 0) ::close(fd);
    if (held) break;
    ::usleep(10000);
  }
  test::WriteBytes(JoinPath(folder, "Temp2.wav"), "stale");
  {
    LTemporaryFile file = LTemporaryFile::CreateNumbered("Temp", ".wav", folder);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Number(), 2);
    EXPECT_EQ(file.Path(), JoinPath(folder, "Temp2.wav"));
    EXPECT_EQ(test::ReadBytes(file.Path()), "");
    EXPECT_TRUE(FileExists(JoinPath(folder, "Temp2.lck")));
    LTemporaryFile next = LTemporaryFile::CreateNumbered("Temp", ".wav", folder);
    EXPECT_EQ(next.Number(), 3);
  }
  // Gone with their locks; the other process's lock stays.
  EXPECT_FALSE(FileExists(JoinPath(folder, "Temp2.wav")));
  EXPECT_FALSE(FileExists(JoinPath(folder, "Temp2.lck")));
  EXPECT_FALSE(FileExists(JoinPath(folder, "Temp3.wav")));
  EXPECT_TRUE(FileExists(lock1));
  holder.Stop();
}

TEST(TemporaryFile, ALinkInPlaceOfTheFileIsNeverFollowed) {
  const std::string folder = test::TempPath(".tmp");
  ASSERT_TRUE(EnsureFolder(folder, 0700));
  const std::string victim = test::TempPath(".victim");
  test::WriteBytes(victim, "keep me");
  ASSERT_EQ(::symlink(victim.c_str(), JoinPath(folder, "Temp1.wav").c_str()), 0);
  ASSERT_EQ(::symlink(victim.c_str(), JoinPath(folder, "Temp2.lck").c_str()), 0);
  LTemporaryFile file = LTemporaryFile::CreateNumbered("Temp", ".wav", folder);
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Number(), 1);  // the link was removed, not written through
  ASSERT_TRUE(file.Append("data", 4));
  EXPECT_EQ(test::ReadBytes(victim), "keep me");
  LTemporaryFile second = LTemporaryFile::CreateNumbered("Temp", ".wav", folder);
  EXPECT_EQ(second.Number(), 3);  // a linked lock file is passed over
  EXPECT_EQ(test::ReadBytes(victim), "keep me");
}

}  // namespace
}  // namespace klangor
