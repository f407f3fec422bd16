#pragma once
// Shared helpers for Klangor's tests. Every test program gets a private temporary folder
// (removed at exit) and its block store works in a subfolder of it.

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
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
// Runs a program that must exit 0 (the test fails otherwise); returns its standard output.
std::string RunTool(const std::vector<std::string>& argv);
// A run of the built klangor-batch: its exit status and what it printed (standard error
// joined to standard output).
struct LBatchRun {
  int status;
  std::string output;
};
LBatchRun RunKlangorBatch(std::vector<std::string> args);

// True when `program` is on PATH.
bool HaveProgram(const std::string& program);

// Whether process `pid` has a handler for `signal` within 20 seconds (its SigCgt mask in /proc).
bool CatchesSignalSoon(pid_t pid, int signal);
// Waits up to 5 seconds for child `pid` to exit and returns the waitpid result (0 when it did
// not exit: it is then killed); `*status` gets its status.
pid_t WaitOrKill(pid_t pid, int* status);

// Points the data folder, the user's settings and the machine settings file (through the
// environment, so for the programs the test starts too) into subfolders of `folder`.
void UsePrivateHome(const std::string& folder);

// The samples of `path` as sox decodes them: 16-bit, or 32-bit left-justified. `inputType`
// names the type of a headerless file; `effects` run after decoding.
std::vector<int16_t> SoxSamples16(const std::string& path, const std::vector<std::string>& inputType = {},
                                  const std::vector<std::string>& effects = {});
std::vector<int32_t> SoxSamples32(const std::string& path);

// While it lives, writing a file past `bytes` fails (with EFBIG) as on a full disk.
class LFileSizeLimit {
 public:
  explicit LFileSizeLimit(rlim_t bytes);
  ~LFileSizeLimit();
  LFileSizeLimit(const LFileSizeLimit&) = delete;
  LFileSizeLimit& operator=(const LFileSizeLimit&) = delete;

 private:
  rlimit old_{};
  sighandler_t oldHandler_;
};

// Signal-to-noise ratio in dB of `got` against `reference` (scaled by `scale`), over the
// samples both have from `skip` on.
template <class A, class B>
double SnrDb(const std::vector<A>& reference, const std::vector<B>& got, double scale = 1.0, size_t skip = 0) {
  double signal = 0, noise = 0;
  for (size_t i = skip; i < std::min(reference.size(), got.size()); ++i) {
    const double r = static_cast<double>(reference[i]) * scale;
    signal += r * r;
    noise += (r - static_cast<double>(got[i])) * (r - static_cast<double>(got[i]));
  }
  return 10 * std::log10(signal / std::max(noise, 1e-9));
}

}  // namespace klangor::test
