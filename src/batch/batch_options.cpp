#include "batch/batch_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

namespace klangor {
namespace {

bool ParseInt(const std::string& text, int64_t low, int64_t high, int64_t* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

// "N" or "N=V,V,..."
bool ParseCommand(const std::string& text, LBatchCommandArg* command) {
  size_t equals = text.find('=');
  int64_t number = 0;
  if (!ParseInt(text.substr(0, equals), 1, 999, &number)) return false;
  command->number = static_cast<int>(number);
  if (equals == std::string::npos) return true;
  std::string rest = text.substr(equals + 1);
  size_t begin = 0;
  for (;;) {
    size_t comma = rest.find(',', begin);
    int64_t value = 0;
    if (!ParseInt(rest.substr(begin, comma - begin), std::numeric_limits<int32_t>::min(),
                  std::numeric_limits<int32_t>::max(), &value)) {
      return false;
    }
    command->values.push_back(static_cast<int32_t>(value));
    if (comma == std::string::npos) return true;
    begin = comma + 1;
  }
}

}  // namespace

const char* BatchUsage() {
  return "usage: klangor-batch [options] FILE...\n"
         "  --script FILE.klb     the command list of a script file\n"
         "  --command N[=V,...]   append command N with its values; repeatable\n"
         "  --format EXT          output format (default: each file's own format)\n"
         "  --output-folder DIR   default: each file's own folder\n"
         "  --probe               print rate, channels, length in frames and stream state\n"
         "  --list-commands       print the command numbers and names\n"
         "  -q, --quiet           no progress bar\n"
         "exit status 0 done, 1 cancelled, 2 failed\n";
}

std::optional<LBatchOptions> ParseBatchOptions(const std::vector<std::string>& args, std::string* error) {
  LBatchOptions options;
  bool onlyFiles = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto needValue = [&](std::string* target) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *target = args[++i];
      return true;
    };
    if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
      options.files.push_back(arg);
    } else if (arg == "--") {
      onlyFiles = true;
    } else if (arg == "--script") {
      if (!needValue(&options.scriptFile)) return std::nullopt;
    } else if (arg == "--command") {
      std::string text;
      if (!needValue(&text)) return std::nullopt;
      LBatchCommandArg command;
      if (!ParseCommand(text, &command)) {
        *error = "bad command \"" + text + "\" (expected N or N=V,V,...)";
        return std::nullopt;
      }
      options.commands.push_back(command);
    } else if (arg == "--format") {
      if (!needValue(&options.format)) return std::nullopt;
      if (options.format[0] == '.') options.format.erase(0, 1);
      for (char& c : options.format) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (arg == "--output-folder") {
      if (!needValue(&options.outputFolder)) return std::nullopt;
    } else if (arg == "--probe") {
      options.probe = true;
    } else if (arg == "--list-commands") {
      options.listCommands = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else {
      *error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (options.files.empty() && !options.help && !options.listCommands) {
    *error = "no input files";
    return std::nullopt;
  }
  return options;
}

}  // namespace klangor
