#pragma once
// Shared helpers for Klangor's tests. Every test program gets a private temporary folder
// (removed at exit) and its block store works in a subfolder of it.

#include <cstdint>
#include <string>
#include <vector>

namespace klangor::test {

// The test program's private folder.
std::string TempDir();
// A fresh path inside TempDir() with the given ending (nothing is created).
std::string TempPath(const std::string& suffix);

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// Little-endian byte images.
std::string Le16(uint32_t value);
std::string Le32(uint32_t value);

// Runs a program (argv[0] on PATH); returns its exit code, or -1 when it could not start.
int Run(const std::vector<std::string>& argv, std::string* output = nullptr);
// A run of the built klangor-batch: its exit status and what it printed (standard error
// joined to standard output).
struct LBatchRun {
  int status;
  std::string output;
};
LBatchRun RunKlangorBatch(std::vector<std::string> args);

// True when `program` is on PATH.
bool HaveProgram(const std::string& program);

}  // namespace klangor::test
