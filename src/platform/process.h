#pragma once
// Starting child processes: always with an argument vector, never through a shell. The child
// inherits no descriptor but the three standard ones the caller gives it (the others are
// closed in the child), runs in a process group of its own (so that stopping it also stops
// what it started), and has the default signal dispositions and an empty signal mask.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace klangor {

// What one of the child's standard descriptors is connected to.
struct LChildDescriptor {
  enum class LKind { kNull, kInherit, kDescriptor, kPipe };
  LKind kind = LKind::kNull;
  int fd = -1;  // for kDescriptor: the caller's descriptor (it stays the caller's)

  static LChildDescriptor Null() { return {}; }
  static LChildDescriptor Inherit() { return {LKind::kInherit, -1}; }
  static LChildDescriptor Descriptor(int descriptor) { return {LKind::kDescriptor, descriptor}; }
  // A pipe to the parent: for standard input the parent writes into it, for output and
  // error it reads from it (LChildProcess::InputPipe, OutputPipe, ErrorPipe).
  static LChildDescriptor Pipe() { return {LKind::kPipe, -1}; }
};

struct LSpawnOptions {
  LChildDescriptor input = LChildDescriptor::Null();
  LChildDescriptor output = LChildDescriptor::Null();
  LChildDescriptor error = LChildDescriptor::Null();
  std::string workingFolder;  // empty: the parent's
};

// How a child ended.
struct LExitStatus {
  bool exited = false;  // ended by exit(): exitCode holds the status
  int exitCode = -1;
  int signal = 0;       // the signal that ended it, when not exited
  bool Success() const { return exited && exitCode == 0; }
};

// One running child. The destructor stops a child that still runs (Stop) and reaps it, so
// no child outlives its owner and none is left as a zombie.
class LChildProcess {
 public:
  LChildProcess() = default;
  ~LChildProcess();
  LChildProcess(LChildProcess&& other) noexcept;
  LChildProcess& operator=(LChildProcess&& other) noexcept;
  LChildProcess(const LChildProcess&) = delete;
  LChildProcess& operator=(const LChildProcess&) = delete;

  // Starts `argv` (argv[0] is looked up on PATH when it has no "/"); check Started().
  static LChildProcess Start(const std::vector<std::string>& argv, const LSpawnOptions& options = {});

  bool Started() const { return pid_ > 0; }
  // Until the child has been reaped.
  bool Running() const { return pid_ > 0 && !reaped_; }
  pid_t Pid() const { return pid_; }

  // Waits up to `timeoutMs` (0: only looks) for the child to end; true when it has ended.
  // Meanwhile collects the error pipe's text (ErrorText). -1 waits without limit.
  bool Wait(int64_t timeoutMs);
  // SIGTERM to the child's group, SIGKILL after `graceMs` when it is still there, then reaps.
  void Stop(int64_t graceMs = 1000);
  LExitStatus Status() const { return status_; }

  // The parent's ends of the pipes asked for (-1 when none). CloseInput ends the child's input.
  int InputPipe() const { return inputPipe_; }
  int OutputPipe() const { return outputPipe_; }
  int ErrorPipe() const { return errorPipe_; }
  void CloseInput();

  // The last 4 KB the child wrote to an error pipe, collected while waiting.
  const std::string& ErrorText() const { return errorText_; }

 private:
  bool Reap(bool block);
  void DrainError();
  void CloseDescriptors();

  pid_t pid_ = -1;
  bool reaped_ = false;
  LExitStatus status_;
  int inputPipe_ = -1;
  int outputPipe_ = -1;
  int errorPipe_ = -1;
  std::string errorText_;
};

struct LProcessOptions {
  bool captureOutput = false;  // collect the child's standard output
  bool quietErrors = false;    // send the child's standard error to /dev/null (else inherited)
};

struct LProcessResult {
  bool started = false;  // false when the program could not be run at all
  int exitCode = -1;     // the exit status; 128 + signal number when a signal ended it
  std::string output;    // standard output when captured
};

// Runs argv[0] (looked up on PATH when it has no "/") and waits for it.
LProcessResult RunProgram(const std::vector<std::string>& argv, const LProcessOptions& options = {});

// Starts argv[0] (looked up like RunProgram) without waiting for it; the child is reaped in
// the background when it ends. False when it could not be started.
bool StartProgram(const std::vector<std::string>& argv);

// The full path of `program` on PATH, or empty. A name with a "/" is taken as it is when it
// is an executable regular file.
std::string FindProgram(const std::string& program);

// The folder of the running program's executable ("" when unknown).
std::string ProgramFolder();

}  // namespace klangor
