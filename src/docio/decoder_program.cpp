#include "docio/decoder_program.h"

#include <chrono>
#include <cmath>

#include "platform/paths.h"

namespace klangor {
namespace {

constexpr int64_t kStepMs = 500;
constexpr int64_t kPollMs = 25;  // how often `ready` is asked within a step
constexpr int64_t kProgressScale = 10000;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string SafeName(const std::string& path) { return !path.empty() && path[0] == '-' ? "./" + path : path; }

std::string LastLine(const std::string& text) {
  size_t end = text.find_last_not_of("\r\n \t");
  if (end == std::string::npos) return {};
  size_t begin = text.find_last_of('\n', end);
  begin = begin == std::string::npos ? 0 : begin + 1;
  return text.substr(begin, end + 1 - begin);
}

std::vector<std::string> DecoderArguments(const std::string& component, const std::string& program,
                                          const std::string& input, const std::string& output) {
  const std::string in = SafeName(input);
  const std::string out = SafeName(output);
  if (component == "oggdec") return {program, "-o", out, in};
  if (component == "flacdec") return {program, "-d", "-f", "-o", out, in};
  if (component == "aacdec") return {program, "-d", "-o", out, in};
  if (component == "shndec") return {program, "-x", in, out};
  if (component == "actdec" || component == "amrdec") return {program, in, out};
  return {};
}

LDecoderLimits DecoderLimitsFor(const std::string& component) {
  if (component == "amrdec") return {360000, false};
  return {};
}

LDecoderStart StartDecoder(const LSettingsStore& settings, const std::string& component, const std::string& input,
                           const std::string& output) {
  LDecoderStart start;
  const LComponentInfo* info = FindComponentInfo(component);
  if (info == nullptr) return start;
  start.program = FindComponent(settings, *info);
  if (start.program.empty()) {
    start.message = MissingComponentMessage(*info);
    return start;
  }
  LSpawnOptions options;
  options.error = LChildDescriptor::Pipe();
  start.child = LChildProcess::Start(DecoderArguments(component, start.program, input, output), options);
  if (!start.child.Started()) start.message = "Unable to start the decoder \"" + start.program + "\".";
  return start;
}

LResult WaitForDecoder(LChildProcess& child, LProgress& progress, const LDecoderLimits& limits,
                       const std::function<bool()>& ready, int64_t* elapsedMs) {
  const int64_t start = NowMs();
  int64_t nextStep = start + kStepMs;
  double f = 0.97;
  LResult result = LResult::kDone;
  for (;;) {
    if (child.Wait(ready ? kPollMs : std::max<int64_t>(nextStep - NowMs(), 0))) break;
    if (ready && ready()) break;
    const int64_t now = NowMs();
    if (now < nextStep) continue;
    nextStep += kStepMs;
    if (progress.Cancelled()) {
      result = LResult::kCancelled;
      break;
    }
    if (now - start >= limits.timeoutMs) {
      result = LResult::kFailed;
      break;
    }
    if (limits.showProgress) {
      progress.SetProgress(static_cast<int64_t>(std::lround((1.0 - f) * kProgressScale)), kProgressScale);
      f *= 0.99;
    }
  }
  if (result != LResult::kDone) child.Stop();
  if (elapsedMs != nullptr) *elapsedMs = NowMs() - start;
  return result;
}

std::string ProgramFailedText(const std::string& role, const std::string& program, const LExitStatus& status,
                              const std::string& errorText) {
  std::string text = "the " + role + " \"" + FileNameOf(program) + "\" failed (";
  text += status.exited ? "exit status " + std::to_string(status.exitCode)
                        : "ended by signal " + std::to_string(status.signal);
  text += ").";
  const std::string line = LastLine(errorText);
  if (!line.empty()) text += "\r\n\r\n" + line;
  return text;
}

std::string DecoderFailedMessage(const std::string& file, const std::string& program, const LExitStatus& status,
                                 const std::string& errorText) {
  return "Cannot open the file \"" + file + "\": " + ProgramFailedText("decoder", program, status, errorText);
}

std::string DecoderTimeOutMessage(const std::string& file, const std::string& program) {
  return "Cannot open the file \"" + file + "\": the decoder \"" + FileNameOf(program) +
         "\" did not finish in time and was stopped.";
}

std::string DecoderOutputMessage(const std::string& file, const std::string& program) {
  return "Cannot open the file \"" + file + "\": the decoder \"" + FileNameOf(program) +
         "\" did not write a valid WAV file.";
}

}  // namespace klangor
