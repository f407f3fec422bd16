#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>
#include <utility>

#include "platform/paths.h"

extern char** environ;

namespace klangor {
namespace {

constexpr size_t kErrorTextBytes = 4096;

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The descriptors of one child's standard streams while it is being started: what the child
// gets (dup2'ed onto 0, 1, 2) and the parent's ends of the pipes.
struct LSpawnPlan {
  int childFds[3] = {-1, -1, -1};  // closed in the parent after the start
  int parentFds[3] = {-1, -1, -1};
  bool ok = true;

  void Prepare(int slot, const LChildDescriptor& descriptor) {
    switch (descriptor.kind) {
      case LChildDescriptor::LKind::kNull:
      case LChildDescriptor::LKind::kInherit: break;
      case LChildDescriptor::LKind::kDescriptor:
        // A copy above 2, so that dup2 onto the slot always makes a fresh, inheritable one.
        childFds[slot] = ::fcntl(descriptor.fd, F_DUPFD_CLOEXEC, 3);
        if (childFds[slot] < 0) ok = false;
        break;
      case LChildDescriptor::LKind::kPipe: {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
          ok = false;
          break;
        }
        // Standard input: the child reads fds[0]; output and error: the child writes fds[1].
        childFds[slot] = slot == 0 ? fds[0] : fds[1];
        parentFds[slot] = slot == 0 ? fds[1] : fds[0];
        break;
      }
    }
  }
  void CloseChildEnds() {
    for (int& fd : childFds) CloseFd(fd);
  }
  void CloseAll() {
    CloseChildEnds();
    for (int& fd : parentFds) CloseFd(fd);
  }
};

}  // namespace

std::string FindProgram(const std::string& program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return IsExecutableFile(program) ? program : std::string();
  const char* path = std::getenv("PATH");
  std::string list = path != nullptr ? path : "/usr/bin:/bin";
  size_t begin = 0;
  while (begin <= list.size()) {
    size_t end = list.find(':', begin);
    if (end == std::string::npos) end = list.size();
    const std::string folder = end > begin ? list.substr(begin, end - begin) : std::string(".");
    std::string candidate = JoinPath(folder, program);
    if (IsExecutableFile(candidate)) return candidate;
    begin = end + 1;
  }
  return {};
}

std::string ProgramFolder() {
  char buffer[PATH_MAX];
  const ssize_t got = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (got <= 0) return {};
  return FolderOf(std::string(buffer, static_cast<size_t>(got)));
}

LChildProcess::~LChildProcess() {
  if (Running()) Stop();
  CloseDescriptors();
}

LChildProcess::LChildProcess(LChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      reaped_(other.reaped_),
      status_(other.status_),
      inputPipe_(std::exchange(other.inputPipe_, -1)),
      outputPipe_(std::exchange(other.outputPipe_, -1)),
      errorPipe_(std::exchange(other.errorPipe_, -1)),
      errorText_(std::move(other.errorText_)) {}

LChildProcess& LChildProcess::operator=(LChildProcess&& other) noexcept {
  if (this != &other) {
    if (Running()) Stop();
    CloseDescriptors();
    pid_ = std::exchange(other.pid_, -1);
    reaped_ = other.reaped_;
    status_ = other.status_;
    inputPipe_ = std::exchange(other.inputPipe_, -1);
    outputPipe_ = std::exchange(other.outputPipe_, -1);
    errorPipe_ = std::exchange(other.errorPipe_, -1);
    errorText_ = std::move(other.errorText_);
  }
  return *this;
}

void LChildProcess::CloseDescriptors() {
  CloseFd(inputPipe_);
  CloseFd(outputPipe_);
  CloseFd(errorPipe_);
}

void LChildProcess::CloseInput() { CloseFd(inputPipe_); }

LChildProcess LChildProcess::Start(const std::vector<std::string>& argv, const LSpawnOptions& options) {
  LChildProcess child;
  if (argv.empty()) return child;
  const std::string program = FindProgram(argv[0]);
  if (program.empty()) return child;

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  LSpawnPlan plan;
  const LChildDescriptor* descriptors[3] = {&options.input, &options.output, &options.error};
  for (int slot = 0; slot < 3; ++slot) plan.Prepare(slot, *descriptors[slot]);
  if (!plan.ok) {
    plan.CloseAll();
    return child;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int slot = 0; slot < 3; ++slot) {
    if (plan.childFds[slot] >= 0) {
      posix_spawn_file_actions_adddup2(&actions, plan.childFds[slot], slot);
    } else if (descriptors[slot]->kind == LChildDescriptor::LKind::kNull) {
      posix_spawn_file_actions_addopen(&actions, slot, "/dev/null", slot == 0 ? O_RDONLY : O_WRONLY, 0);
    }
  }
  // Nothing else of ours reaches the child, whatever a library opened without O_CLOEXEC.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!options.workingFolder.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
  }

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  plan.CloseChildEnds();
  if (rc != 0) {
    plan.CloseAll();
    return child;
  }
  child.pid_ = pid;
  child.inputPipe_ = plan.parentFds[0];
  child.outputPipe_ = plan.parentFds[1];
  child.errorPipe_ = plan.parentFds[2];
  if (child.errorPipe_ >= 0) ::fcntl(child.errorPipe_, F_SETFL, O_NONBLOCK);
  return child;
}

bool LChildProcess::Reap(bool block) {
  if (pid_ <= 0) return true;
  if (reaped_) return true;
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got == 0) return false;
  reaped_ = true;
  if (got < 0) return true;  // not our child any more (someone else reaped it)
  if (WIFEXITED(status)) {
    status_.exited = true;
    status_.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    status_.signal = WTERMSIG(status);
  }
  return true;
}

void LChildProcess::DrainError() {
  if (errorPipe_ < 0) return;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(errorPipe_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) CloseFd(errorPipe_);  // the child closed its end
      return;
    }
    errorText_.append(chunk, static_cast<size_t>(got));
    if (errorText_.size() > kErrorTextBytes) errorText_.erase(0, errorText_.size() - kErrorTextBytes);
  }
}

bool LChildProcess::Wait(int64_t timeoutMs) {
  if (!Started()) return true;
  const int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
  for (;;) {
    DrainError();
    if (Reap(false)) {
      DrainError();
      return true;
    }
    const int64_t left = deadline < 0 ? 10 : deadline - NowMs();
    if (left <= 0) return false;
    // Short sleeps on the error pipe (which also wakes us when the child writes to it).
    const int step = static_cast<int>(std::min<int64_t>(left, 10));
    if (errorPipe_ >= 0) {
      pollfd poller{errorPipe_, POLLIN, 0};
      ::poll(&poller, 1, step);
    } else {
      ::poll(nullptr, 0, step);
    }
  }
}

void LChildProcess::Stop(int64_t graceMs) {
  if (!Running()) return;
  ::kill(-pid_, SIGTERM);
  ::kill(pid_, SIGTERM);
  if (!Wait(graceMs)) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    Reap(true);
  }
}

LProcessResult RunProgram(const std::vector<std::string>& argv, const LProcessOptions& options) {
  LProcessResult result;
  LSpawnOptions spawn;
  spawn.output = options.captureOutput ? LChildDescriptor::Pipe() : LChildDescriptor::Inherit();
  spawn.error = options.quietErrors ? LChildDescriptor::Null() : LChildDescriptor::Inherit();
  LChildProcess child = LChildProcess::Start(argv, spawn);
  if (!child.Started()) return result;
  result.started = true;
  if (child.OutputPipe() >= 0) {
    char chunk[65536];
    for (;;) {
      const ssize_t got = ::read(child.OutputPipe(), chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      result.output.append(chunk, static_cast<size_t>(got));
    }
  }
  child.Wait(-1);
  const LExitStatus status = child.Status();
  if (status.exited) result.exitCode = status.exitCode;
  else if (status.signal != 0) result.exitCode = 128 + status.signal;
  return result;
}

bool StartProgram(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  LSpawnOptions options;
  options.output = LChildDescriptor::Inherit();
  options.error = LChildDescriptor::Inherit();
  LChildProcess child = LChildProcess::Start(argv, options);
  if (!child.Started()) return false;
  // The program runs on its own (a mixer window); a detached thread reaps it when it ends.
  std::thread([child = std::move(child)]() mutable { child.Wait(-1); }).detach();
  return true;
}

}  // namespace klangor
