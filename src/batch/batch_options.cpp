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
         "  --list-devices        print the output device numbers and names (for --device)\n"
         "  --play FILE           play FILE (or --from MS --to MS of it) through the sound card\n"
         "    --device N          output device (0 the default; default: the setting SoundOutDevice)\n"
         "    --speed S           slow, normal or fast\n"
         "    --repeat            play in a loop (Ctrl+C or --seconds stops)\n"
         "    --capture OUT.wav   play as fast as possible into OUT.wav instead of the sound card\n"
         "    --seconds S         stop after S seconds of sound\n"
         "  --list-input-devices  print the input device numbers and names (for --record --device)\n"
         "  --record FILE.wav     record from the sound card into FILE.wav until Ctrl+C (or --seconds)\n"
         "    --device N          input device (0 the default; default: the setting Device of Recorder)\n"
         "    --seconds S         stop after S seconds of sound\n"
         "    --input-file IN.wav record what IN.wav holds, as fast as possible, instead of the sound card\n"
         "    --realtime          play IN.wav in real time\n"
         "    --rate R            sample rate (default: IN.wav's, else 44100)\n"
         "    --channels C        channel count (default: IN.wav's, else 2)\n"
         "exit status 0 done, 1 cancelled, 2 failed\n";
}

std::optional<LBatchOptions> ParseBatchOptions(const std::vector<std::string>& args, std::string* error) {
  LBatchOptions options;
  LBatchPlayOptions play;
  LBatchRecordOptions record;
  std::string playOption;    // the first option that belongs to --play
  std::string recordOption;  // the first option that belongs only to --record
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
    } else if (arg == "--list-devices") {
      options.listDevices = true;
    } else if (arg == "--list-input-devices") {
      options.listInputDevices = true;
    } else if (arg == "--record") {
      if (!needValue(&record.file)) return std::nullopt;
      options.record = record;
    } else if (arg == "--input-file") {
      if (!needValue(&record.inputFile)) return std::nullopt;
      if (recordOption.empty()) recordOption = arg;
    } else if (arg == "--realtime") {
      record.realtime = true;
      if (recordOption.empty()) recordOption = arg;
    } else if (arg == "--rate" || arg == "--channels") {
      std::string text;
      int64_t value = 0;
      if (!needValue(&text)) return std::nullopt;
      if (!ParseInt(text, 1, arg == "--rate" ? 196000 : 255, &value)) {
        *error = "bad value \"" + text + "\" for " + arg;
        return std::nullopt;
      }
      if (arg == "--rate") record.sampleRate = static_cast<int32_t>(value);
      if (arg == "--channels") record.channels = static_cast<int>(value);
      if (recordOption.empty()) recordOption = arg;
    } else if (arg == "--list-commands") {
      options.listCommands = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--play") {
      if (!needValue(&play.file)) return std::nullopt;
      options.play = play;
    } else if (arg == "--device" || arg == "--from" || arg == "--to") {
      std::string text;
      int64_t value = 0;
      if (!needValue(&text)) return std::nullopt;
      if (!ParseInt(text, 0, arg == "--device" ? 999 : std::numeric_limits<int32_t>::max(), &value)) {
        *error = "bad value \"" + text + "\" for " + arg;
        return std::nullopt;
      }
      if (arg == "--device") play.device = static_cast<int>(value);
      if (arg == "--from") play.fromMs = value;
      if (arg == "--to") play.toMs = value;
      if (playOption.empty()) playOption = arg;
    } else if (arg == "--speed") {
      std::string text;
      if (!needValue(&text)) return std::nullopt;
      if (text == "slow") play.speed = 0;
      else if (text == "normal") play.speed = 1;
      else if (text == "fast") play.speed = 2;
      else {
        *error = "bad speed \"" + text + "\" (slow, normal or fast)";
        return std::nullopt;
      }
      if (playOption.empty()) playOption = arg;
    } else if (arg == "--repeat") {
      play.repeat = true;
      if (playOption.empty()) playOption = arg;
    } else if (arg == "--capture") {
      if (!needValue(&play.capturePath)) return std::nullopt;
      if (playOption.empty()) playOption = arg;
    } else if (arg == "--seconds") {
      std::string text;
      if (!needValue(&text)) return std::nullopt;
      char* end = nullptr;
      play.seconds = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0' || !(play.seconds > 0) || play.seconds > 1e7) {
        *error = "bad value \"" + text + "\" for --seconds";
        return std::nullopt;
      }
      if (playOption.empty()) playOption = arg;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else {
      *error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (options.record) {
    if (options.play || !options.files.empty()) {
      *error = "--record takes one file and nothing to play";
      return std::nullopt;
    }
    if (!play.capturePath.empty() || play.repeat || play.speed != 1 || play.fromMs >= 0 || play.toMs >= 0) {
      *error = "option " + playOption + " needs --play";
      return std::nullopt;
    }
    if (record.realtime && record.inputFile.empty()) {
      *error = "--realtime needs --input-file";
      return std::nullopt;
    }
    const std::string file = options.record->file;
    options.record = record;
    options.record->file = file;
    options.record->device = play.device;
    options.record->seconds = play.seconds;
    return options;
  }
  if (!recordOption.empty()) {
    *error = "option " + recordOption + " needs --record";
    return std::nullopt;
  }
  if (options.play) {
    const std::string file = options.play->file;
    options.play = play;
    options.play->file = file;
    if (!options.files.empty()) {
      *error = "--play takes one file";
      return std::nullopt;
    }
    return options;
  }
  if (!playOption.empty()) {
    *error = "option " + playOption + " needs --play";
    return std::nullopt;
  }
  if (options.files.empty() && !options.help && !options.listCommands && !options.listDevices &&
      !options.listInputDevices) {
    *error = "no input files";
    return std::nullopt;
  }
  return options;
}

}  // namespace klangor
