#include "app/command_line.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "formats/format_table.h"

namespace klangor {
namespace {

// A size as the window takes it: the number at the start of the text, nothing when there is
// none or it is absurd.
std::optional<int> SizeValue(const std::vector<std::string>& arguments, size_t index) {
  if (index >= arguments.size()) return std::nullopt;
  const std::string& text = arguments[index];
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || errno == ERANGE || value < 0 || value > 100000) return std::nullopt;
  return static_cast<int>(value);
}

void OpenList(const std::string& path, LCommandLineActions& actions) {
  std::ifstream list(path);
  if (!list) return;  // a list that cannot be opened is skipped
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) actions.OpenAudio(line);
  }
}

bool IsNumber(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::vector<std::string> AbsoluteArguments(std::vector<std::string> arguments, const std::string& folder) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    std::string& argument = arguments[i];
    if (argument == "-window") {
      // Its sizes are numbers, not files.
      for (int k = 0; k < 2 && i + 1 < arguments.size() && IsNumber(arguments[i + 1]); ++k) ++i;
      continue;
    }
    if (argument.empty() || argument[0] == '-' || argument[0] == '/') continue;
    argument = folder + "/" + argument;
  }
  return arguments;
}

bool ProcessCommandLine(const std::vector<std::string>& arguments, LCommandLineActions& actions) {
  actions.BringToFront();
  bool startupWindow = true;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-block" || argument == "-install") continue;
    if (argument == "-save") {
      actions.SaveActive();
    } else if (argument == "-saveas") {
      if (i + 1 < arguments.size()) actions.SaveActiveAs(arguments[++i]);
    } else if (argument == "-close") {
      actions.CloseActive();
    } else if (argument == "-exit") {
      actions.Exit();
    } else if (argument == "-minimize") {
      actions.Minimize();
      startupWindow = false;
    } else if (argument == "-maximize") {
      actions.Maximize();
      startupWindow = false;
    } else if (argument == "-restore") {
      actions.Restore();
      startupWindow = false;
    } else if (argument == "-window") {
      // Only numbers are taken as the sizes; a file name after "-window" stays a file.
      const std::optional<int> width = SizeValue(arguments, i + 1);
      const std::optional<int> height = width ? SizeValue(arguments, i + 2) : std::nullopt;
      actions.ResizeClient(width, height);
      i += (width ? 1 : 0) + (height ? 1 : 0);
      startupWindow = false;
    } else if (argument == "-batch") {
      actions.Batch(i + 1 < arguments.size() ? arguments[i + 1] : std::string());
      return startupWindow;
    } else if (argument == "-list") {
      if (i + 1 < arguments.size() && arguments[i + 1].rfind('-', 0) != 0) OpenList(arguments[i + 1], actions);
      return startupWindow;
    } else if (argument == "-runedit") {
      startupWindow = false;
    } else if (!argument.empty()) {
      if (LowerExtension(argument) == "klp") {
        actions.OpenProject(argument);
      } else {
        actions.OpenAudio(argument);
      }
      startupWindow = false;
    }
  }
  return startupWindow;
}

}  // namespace klangor
