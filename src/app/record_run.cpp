#include "app/record_run.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "audio/time_units.h"
#include "batch/level_text.h"
#include "batch/terminal_progress.h"
#include "dsp/format_adapter.h"
#include "frame/time_text.h"
#include "recorder/recorder.h"
#include "recorder/recorder_settings.h"
#include "recorder/take_file.h"
#include "settings/settings_keys.h"

namespace klangor {
namespace {

using std::chrono::milliseconds;

// The status line and the problems, on standard error.
class LRecordStatus final : public LRecorderListener {
 public:
  LRecordStatus(bool show, std::ostream& err, const LRecorder& recorder, int32_t rate)
      : show_(show), err_(err), recorder_(recorder), rate_(rate) {}
  ~LRecordStatus() override { EndLine(); }

  void Recording(uint32_t) override { recording_ = true; }
  void Waiting(uint32_t) override { recording_ = false; }
  void Levels(const LLevelRecord& levels, uint32_t) override { levels_ = levels; }
  void Problem(const std::string& message, uint32_t) override {
    EndLine();
    err_ << "klangor-batch: " << message << std::endl;
  }
  void Draw(bool force) {
    if (!show_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < milliseconds(100)) return;
    last_ = now;
    std::string line = "\r" + FormatTimeText(FramesToMs(recorder_.TakeFrames(), rate_)) +
                       (recording_ ? "  Aufnahme " : "  Warten   ");
    line += LevelsText(levels_);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  void EndLine() {
    if (drawn_) std::fputs("\n", stderr);
    drawn_ = false;
  }

  bool show_;
  std::ostream& err_;
  const LRecorder& recorder_;
  int32_t rate_;
  bool recording_ = false;
  LLevelRecord levels_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace

void ListInputDevices(std::ostream& out) {
  LSystemInputDevices devices(OpenTakeSource);
  const std::vector<std::string> names = devices.Names();
  for (size_t i = 0; i < names.size(); ++i) out << i << "  " << names[i] << "\n";
}

int RunRecord(const LBatchRecordOptions& options, const LSettingsStore& settings, bool showStatus,
              std::ostream& err) {
  int32_t rate = options.sampleRate > 0 ? options.sampleRate : 44100;
  int channels = options.channels > 0 ? options.channels : 2;
  std::unique_ptr<LInputDevices> devices;
  int device = options.device >= 0 ? options.device : settings.Read(kRecorderDevice);
  if (!options.inputFile.empty()) {
    LRef<LSoundStream> probe = OpenTakeSource(options.inputFile);
    if (probe->State() != LStreamState::kOk) {
      err << "klangor-batch: " << options.inputFile << " cannot be opened as a WAV file\n";
      return 2;
    }
    if (options.sampleRate <= 0) rate = probe->SampleRate();
    if (options.channels <= 0) channels = probe->Channels();
    LVirtualInputOptions input;
    input.pacing = options.realtime ? LPacing::kRealTime : LPacing::kAsFastAsPossible;
    input.source = [path = options.inputFile, rate, channels] {
      return MakeFormatAdapter(OpenTakeSource(path), rate, channels);
    };
    devices = std::make_unique<LVirtualInputDevices>(std::move(input));
    device = 0;
  } else {
    devices = std::make_unique<LSystemInputDevices>(OpenTakeSource);
  }
  {
    // The device must open before the file is touched: a missing device keeps an old file.
    std::string error;
    if (!devices->Open(device, LDeviceFormat{rate, channels}, &error)) {
      err << "klangor-batch: " << kNoInputMessage << " (" << error << ")\n";
      return 2;
    }
  }
  LRef<LSoundSink> sink = CreateTakeFile(options.file, rate, channels);
  if (sink->Failed()) {
    err << "klangor-batch: " << options.file << " cannot be created\n";
    return 2;
  }
  const LRecorderStart start = RecorderStartFor(settings);
  LRunLoop loop;
  LRecorder recorder(loop, *devices);
  recorder.SetDevice(device);
  recorder.SetSink(sink);
  sink.Reset();
  const int64_t limitMs = options.seconds > 0 ? std::llround(options.seconds * 1000) : 0;
  const bool show = showStatus && ::isatty(2) == 1;
  LRecordStatus status(show, err, recorder, rate);
  recorder.SetListener(&status, 0);
  if (!recorder.Start(limitMs, start.threshold, start.silenceMs, LThreadPriority::kTimeCritical)) {
    err << "klangor-batch: " << recorder.LastError() << "\n";
    return 2;
  }
  while (recorder.IsRunning()) {
    loop.RunPending(milliseconds(50));
    if (LTerminalProgress::Interrupted()) recorder.Stop();
    status.Draw(false);
  }
  status.Draw(true);
  recorder.SetListener(nullptr, 0);
  const bool failed = recorder.EndedByFailure();
  if (recorder.TakeFrames() == 0 && !failed) {
    err << "klangor-batch: nothing was recorded: no sound reached the threshold of " << start.threshold << " dB\n";
  }
  return failed ? 2 : 0;
}

}  // namespace klangor
