#pragma once
// The command line of klangor-batch.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace klangor {

struct LBatchCommandArg {
  int number = 0;
  std::vector<int32_t> values;  // empty: the stored values apply
};

struct LBatchOptions {
  std::string scriptFile;
  std::vector<LBatchCommandArg> commands;
  std::string format;        // output extension without the dot; empty: each file's own
  std::string outputFolder;  // empty: each file's own folder
  bool probe = false;
  bool listCommands = false;
  bool quiet = false;
  bool help = false;
  std::vector<std::string> files;
};

// Parses argv[1..]; on a mistake returns nothing and sets `error` to a one-line message.
std::optional<LBatchOptions> ParseBatchOptions(const std::vector<std::string>& args, std::string* error);

// The usage text printed by --help and after a mistake.
const char* BatchUsage();

}  // namespace klangor
