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

// --play FILE and its options.
struct LBatchPlayOptions {
  std::string file;
  int device = -1;            // -1: the setting "SoundOutDevice"
  int speed = 1;              // 0 slow, 1 normal, 2 fast
  bool repeat = false;
  std::string capturePath;    // non-empty: into the virtual device, as fast as possible
  int64_t fromMs = -1;        // the selection to play; -1: not given
  int64_t toMs = -1;
  double seconds = -1;        // > 0: stop after this much audio
};

// --record FILE and its options (run by app/record_run.h).
struct LBatchRecordOptions {
  std::string file;
  int device = -1;          // -1: the setting "Device" of "Recorder"
  double seconds = -1;      // > 0: stop after this much audio
  std::string inputFile;    // non-empty: the virtual input plays this WAV file
  bool realtime = false;    // the virtual input plays in real time (else as fast as possible)
  int32_t sampleRate = 0;   // 0: the input file's, else 44100
  int channels = 0;         // 0: the input file's, else 2
};

struct LBatchOptions {
  std::string scriptFile;
  std::vector<LBatchCommandArg> commands;
  std::string format;        // output extension without the dot; empty: each file's own
  std::string outputFolder;  // empty: each file's own folder
  bool probe = false;
  bool listCommands = false;
  bool listDevices = false;
  bool listInputDevices = false;
  bool quiet = false;
  bool help = false;
  std::optional<LBatchPlayOptions> play;
  std::optional<LBatchRecordOptions> record;
  std::vector<std::string> files;
};

// Parses argv[1..]; on a mistake returns nothing and sets `error` to a one-line message.
std::optional<LBatchOptions> ParseBatchOptions(const std::vector<std::string>& args, std::string* error);

// The usage text printed by --help and after a mistake.
const char* BatchUsage();

}  // namespace klangor
