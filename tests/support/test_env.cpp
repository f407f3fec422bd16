#include "support/test_env.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

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

bool HaveProgram(const std::string& program) { return !FindProgram(program).empty(); }

}  // namespace klangor::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new klangor::test::KlangorTestEnvironment);
  return RUN_ALL_TESTS();
}
