#pragma once
// Starting child processes: always with an argument vector, never through a shell.

#include <string>
#include <vector>

namespace klangor {

struct LProcessOptions {
  bool captureOutput = false;  // collect the child's standard output
  bool quietErrors = false;    // send the child's standard error to /dev/null
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

// The full path of `program` on PATH, or empty.
std::string FindProgram(const std::string& program);

}  // namespace klangor
