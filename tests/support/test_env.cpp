// The test environment every test program gets (a private folder, the block store inside it)
// and the shared helpers for files, programs and sox.

#include "support/test_env.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/file.h"
#include "platform/process.h"
#include "store/block_store.h"

namespace klangor::test {
namespace {

std::string& TempRoot() {
  static std::string root;
  return root;
}

class KlangorTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "klangor-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    TempRoot() = pattern;
    std::filesystem::create_directories(pattern + "/work");
    // No test reads or writes the user's own settings and data folders.
    UsePrivateHome(pattern + "/home");
    LBlockStore::Instance().SetWorkingFolder(pattern + "/work");
  }
  void TearDown() override {
    LBlockStore::Instance().CleanUp();
    std::error_code ignored;
    std::filesystem::remove_all(TempRoot(), ignored);
  }
};

}  // namespace

std::string TempDir() { return TempRoot(); }

std::string TempPath(const std::string& suffix) {
  static std::atomic<int> counter{0};
  return TempRoot() + "/t" + std::to_string(++counter) + suffix;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  LFile file = LFile::Open(path, LFileMode::kCreateAlways);
  ASSERT_TRUE(file.IsOpen()) << path;
  ASSERT_TRUE(file.Write(bytes.data(), static_cast<int64_t>(bytes.size())));
}

std::string ReadBytes(const std::string& path) {
  std::string contents;
  ReadWholeFile(path, &contents);
  return contents;
}

std::string Le16(uint32_t value) {
  return std::string{static_cast<char>(value & 0xff), static_cast<char>((value >> 8) & 0xff)};
}

std::string Le32(uint32_t value) { return Le16(value & 0xffff) + Le16(value >> 16); }

int Run(const std::vector<std::string>& argv, std::string* output) {
  LProcessOptions options;
  options.captureOutput = output != nullptr;
  LProcessResult result = RunProgram(argv, options);
  if (output != nullptr) *output = result.output;
  return result.started ? result.exitCode : -1;
}

LBatchRun RunKlangorBatch(std::vector<std::string> args) {
  const char* build = std::getenv("KLANGOR_BUILD_DIR");
  args.insert(args.begin(), std::string(build != nullptr ? build : ".") + "/apps/klangor-batch/klangor-batch");
  std::vector<std::string> shell = {"sh", "-c", "exec \"$0\" \"$@\" 2>&1"};
  shell.insert(shell.end(), args.begin(), args.end());
  LBatchRun run;
  run.status = Run(shell, &run.output);
  return run;
}

std::string RunTool(const std::vector<std::string>& argv) {
  std::string output;
  EXPECT_EQ(Run(argv, &output), 0) << argv.at(0) << " " << argv.back();
  return output;
}

bool CatchesSignalSoon(pid_t pid, int signal) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < until) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigCgt:", 0) == 0 && ((std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1) != 0) {
        return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

pid_t WaitOrKill(pid_t pid, int* status) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  pid_t done = 0;
  while ((done = ::waitpid(pid, status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, status, 0);
  }
  return done;
}

bool HaveProgram(const std::string& program) { return !FindProgram(program).empty(); }

void UsePrivateHome(const std::string& folder) {
  ::setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  ::setenv("KLANGOR_MACHINE_SETTINGS", (folder + "/machine/Klangor.ini").c_str(), 1);
}

LFileSizeLimit::LFileSizeLimit(rlim_t bytes) {
  ::getrlimit(RLIMIT_FSIZE, &old_);
  oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = old_;
  limit.rlim_cur = bytes;
  EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
}

LFileSizeLimit::~LFileSizeLimit() {
  ::setrlimit(RLIMIT_FSIZE, &old_);
  ::signal(SIGXFSZ, oldHandler_);
}

std::vector<int16_t> SoxSamples16(const std::string& path, const std::vector<std::string>& inputType,
                                  const std::vector<std::string>& effects) {
  std::vector<std::string> argv = {"sox", "-V1", "-D"};
  argv.insert(argv.end(), inputType.begin(), inputType.end());
  argv.insert(argv.end(), {path, "-t", "s16", "-L", "-"});
  argv.insert(argv.end(), effects.begin(), effects.end());
  const std::string raw = RunTool(argv);
  std::vector<int16_t> samples(raw.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) | static_cast<uint8_t>(raw[2 * i + 1]) << 8);
  }
  return samples;
}

std::vector<int32_t> SoxSamples32(const std::string& path) {
  const std::string raw = RunTool({"sox", "-V1", "-D", path, "-t", "s32", "-L", "-"});
  std::vector<int32_t> samples(raw.size() / 4);
  for (size_t i = 0; i < samples.size(); ++i) {
    uint32_t v = 0;
    for (int b = 3; b >= 0; --b) v = v << 8 | static_cast<uint8_t>(raw[4 * i + b]);
    samples[i] = static_cast<int32_t>(v);
  }
  return samples;
}

}  // namespace klangor::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new klangor::test::KlangorTestEnvironment);
  return RUN_ALL_TESTS();
}
