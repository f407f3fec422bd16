#include "batch/play_run.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>

#include "audio/time_units.h"
#include "batch/level_text.h"
#include "batch/terminal_progress.h"
#include "docio/load_save.h"
#include "docio/open_context.h"
#include "docio/raw_settings.h"
#include "effects/cue_stream.h"
#include "effects/grain_stretch.h"
#include "formats/format_table.h"
#include "formats/open_messages.h"
#include "frame/frame_model.h"
#include "frame/headless_ui.h"
#include "frame/time_text.h"
#include "player/playback.h"

namespace klangor {
namespace {

using std::chrono::milliseconds;

class LNoWindows final : public LFrameView {
 public:
  void DocumentOpened(LSoundDocument&) override {}
  void DocumentClosed(LSoundDocument&) override {}
  void ArrangeWindows() override {}
  void RefreshBars() override {}
  void EnableSave(bool) override {}
  void RefreshUndoMenu(const LUndoMenuState&) override {}
  void RedrawDocument(LSoundDocument&) override {}
};

// The status line: position, length and the levels of the last played buffer.
class LStatusLine final : public LPlayerListener {
 public:
  LStatusLine(bool show, int64_t lengthMs) : show_(show), lengthMs_(lengthMs) {}
  ~LStatusLine() override {
    if (drawn_) std::fputs("\n", stderr);
  }
  void Position(int64_t ms, int32_t /*frame*/, uint32_t /*context*/) override { ms_ = ms; }
  void Levels(const LLevelRecord& levels, uint32_t /*context*/) override { levels_ = levels; }
  void Draw(bool force) {
    if (!show_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < milliseconds(100)) return;
    last_ = now;
    std::string line = "\r" + FormatTimeText(ms_) + " / " + FormatTimeText(lengthMs_) + "  ";
    line += LevelsText(levels_);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  bool show_;
  int64_t lengthMs_;
  int64_t ms_ = 0;
  LLevelRecord levels_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace

void ListOutputDevices(std::ostream& out) {
  LSystemOutputDevices devices;
  const std::vector<std::string> names = devices.Names();
  for (size_t i = 0; i < names.size(); ++i) out << i << "  " << names[i] << "\n";
}

int RunPlay(const LBatchPlayOptions& options, const LSettingsStore& settings, LProgress& progress, bool showStatus,
            std::ostream& err) {
  if (options.repeat && !options.capturePath.empty() && !(options.seconds > 0)) {
    err << "klangor-batch: --repeat with --capture needs --seconds\n";
    return 2;
  }
  // Every format that opens for conversion plays: the same open dispatch, its messages on stderr.
  LSettingsStore openSettings = settings;
  LReportingOpenInteraction interaction([&err](const std::string& message) { err << message << "\n"; });
  LOpenContext context(openSettings, interaction, progress);
  bool prompt = true;
  auto document = MakeRef<LSoundDocument>();
  const LResult loaded = LoadAudioFile(options.file, prompt, context, *document);
  if (loaded == LResult::kCancelled) return 1;
  if (loaded != LResult::kDone) {
    if (prompt) err << PlainOpenMessage(options.file) << "\n";  // nothing said yet
    return 2;
  }
  progress.SetTitle("Wiedergabe");  // ends the loading bar's line
  document->LengthChanged();
  const int32_t rate = document->sound.SampleRate();
  const int32_t length = document->Length();
  if (options.fromMs >= 0 || options.toMs >= 0) {
    const int64_t from = options.fromMs >= 0 ? MsToFrames(options.fromMs, rate) : 0;
    const int64_t to = options.toMs >= 0 ? std::min<int64_t>(MsToFrames(options.toMs, rate), length) : length;
    if (from >= to) {
      err << "klangor-batch: the range from " << std::max<int64_t>(options.fromMs, 0) << " ms to "
          << (options.toMs >= 0 ? std::to_string(options.toMs) + " ms" : std::string("the end"))
          << " holds no sound (the sound is " << FramesToMs(length, rate) << " ms long)\n";
      return 2;
    }
    document->SetSelection(static_cast<int32_t>(from), static_cast<int32_t>(to), static_cast<int32_t>(from));
  }

  const int64_t limitFrames = options.seconds > 0 ? std::llround(options.seconds * rate) : -1;
  std::unique_ptr<LOutputDevices> devices;
  if (!options.capturePath.empty()) {
    LVirtualOutputOptions capture;
    capture.pacing = LPacing::kAsFastAsPossible;
    capture.capturePath = options.capturePath;
    capture.captureLimitFrames = limitFrames;
    devices = std::make_unique<LVirtualOutputDevices>(capture);
  } else {
    devices = std::make_unique<LSystemOutputDevices>();
  }
  LSettingsStore store = settings;
  LRunLoop loop;
  LHeadlessUi ui;
  LNoWindows view;
  LPlayback playback(loop, *devices, store, {MakeTimeStretch, MakeCueStream});
  LFrameModel frame(view, playback);
  playback.Attach(&frame, &ui);
  frame.OpenDocument(document);
  playback.OverridePlayOptions(static_cast<LPlaySpeed>(std::clamp(options.speed, 0, 2)), options.repeat,
                               options.capturePath.empty() ? options.device : 0);
  const bool show = showStatus && ::isatty(2) == 1;
  int status = 0;
  {
    LStatusLine line(show, FramesToMs(document->HasSelection() ? document->selectionEnd : length, rate));
    playback.SetDisplay(&line);
    playback.PlayActive(true);
    if (!playback.IsPlaying()) {
      playback.SetDisplay(nullptr);
      err << "klangor-batch: " << (ui.messages.empty() ? std::string("cannot play") : ui.messages.back().text);
      if (!playback.Engine().LastError().empty()) err << " (" << playback.Engine().LastError() << ")";
      err << "\n";
      return 2;
    }
    while (playback.IsPlaying()) {
      loop.RunPending(milliseconds(50));
      if (LTerminalProgress::Interrupted()) {
        playback.Stop();
        status = 1;
      } else if (limitFrames >= 0 && playback.Engine().FramesPlayed() >= limitFrames) {
        playback.Stop();
      }
      line.Draw(false);
    }
    line.Draw(true);
    playback.SetDisplay(nullptr);
  }
  if (!playback.Engine().LastError().empty()) {
    err << "klangor-batch: " << playback.Engine().LastError() << "\n";
    return 2;
  }
  if (const int64_t underruns = playback.Engine().Underruns(); underruns > 0) {
    err << "klangor-batch: the output ran dry " << underruns << " times\n";
  }
  return status;
}

}  // namespace klangor
