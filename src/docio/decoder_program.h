#pragma once
// The decoder programs of the open dispatch: how each is called, and the run of one under
// the progress object. Programs get an argument vector (no shell), no descriptor but
// /dev/null for input and output and a pipe for their error text, and are stopped (SIGTERM,
// then SIGKILL a second later) and reaped when the user cancels or the time runs out.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "docio/components.h"
#include "platform/process.h"
#include "settings/settings_store.h"

namespace klangor {

// A file name as a program's argument: one that begins with "-" is given as "./-..." so that no
// program takes it for an option.
std::string SafeName(const std::string& path);
// The last line of a program's error text (for messages), without trailing blanks.
std::string LastLine(const std::string& text);

// The decoder components: "oggdec", "flacdec", "aacdec", "shndec", "actdec", "amrdec".
// The argument vector that runs `program` on `input`, writing `output`; empty for another name.
// A file name that begins with "-" is given as "./-..." so that no program takes it for an option.
std::vector<std::string> DecoderArguments(const std::string& component, const std::string& program,
                                          const std::string& input, const std::string& output);

// How long a decoder may take, and whether its wait moves the progress bar.
struct LDecoderLimits {
  int64_t timeoutMs = 3600000;  // one hour
  bool showProgress = true;
};
// "amrdec" gets 360000 ms and no progress updates.
LDecoderLimits DecoderLimitsFor(const std::string& component);

// One started decoder (see StartDecoder).
struct LDecoderStart {
  LChildProcess child;     // Started() false when it did not start
  std::string message;     // why not (the component is missing, or it could not be run)
  std::string program;     // the program's path, for messages
};
LDecoderStart StartDecoder(const LSettingsStore& settings, const std::string& component, const std::string& input,
                           const std::string& output);

// Waits for the decoder in steps of at most 500 ms, asking `progress` each time whether the
// user cancelled; with `limits.showProgress` the bar shows 1 - f after every 500 ms, f going
// from 0.97 down by a factor of 0.99 each time. Done when the program has ended, or as soon
// as `ready` (when given) says its output can be read already; cancelled (1) and time-out
// (2) stop the program. `elapsedMs` receives the time waited.
LResult WaitForDecoder(LChildProcess& child, LProgress& progress, const LDecoderLimits& limits,
                       const std::function<bool()>& ready, int64_t* elapsedMs = nullptr);

// Why a decoder or encoder program failed: `role` ("decoder", "encoder") and the program's
// file name, its exit status or signal, then the last line it wrote on its error output.
std::string ProgramFailedText(const std::string& role, const std::string& program, const LExitStatus& status,
                              const std::string& errorText);

// Messages of a decoder that ran on `file` but gave nothing usable; they name the program.
std::string DecoderFailedMessage(const std::string& file, const std::string& program, const LExitStatus& status,
                                 const std::string& errorText);
std::string DecoderTimeOutMessage(const std::string& file, const std::string& program);
std::string DecoderOutputMessage(const std::string& file, const std::string& program);

}  // namespace klangor
