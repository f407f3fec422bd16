#include "player/playback.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "audio/time_units.h"
#include "device/volume.h"
#include "player/loop_stream.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

constexpr int kCueVolumeDropDb = 8;
constexpr int32_t kCueRampMs = 8000;

double SpeedFactor(LPlaySpeed speed) {
  return speed == LPlaySpeed::kNormal ? 1.0 : (static_cast<int>(speed) + 1) * 0.5;
}

int32_t Scaled(int64_t frames, double factor) {
  return static_cast<int32_t>(std::clamp<double>(std::llround(static_cast<double>(frames) * factor), INT32_MIN, INT32_MAX));
}

}  // namespace

LPlayback::LPlayback(LNotifier& notifier, LOutputDevices& devices, LSettingsStore& settings, LPlayStreams streams,
                     LWavePlayerOptions options)
    : player_(notifier, devices, options), settings_(settings), streams_(std::move(streams)) {
  speed_ = static_cast<LPlaySpeed>(std::clamp(settings_.Read(kPlaySpeed), 0, 2));
  repeat_ = settings_.Read(kPlayRepeat);
  player_.SetListener(this);
}

LPlayback::~LPlayback() {
  // The frame may be gone already: no more reports.
  player_.SetListener(nullptr);
  player_.Close();
}

void LPlayback::Attach(LFrameModel* frame, LUserInterface* ui) {
  frame_ = frame;
  ui_ = ui;
}

void LPlayback::RefreshBars() {
  if (frame_ != nullptr) frame_->RefreshBars();
}

void LPlayback::ShowDeviceMessage() {
  if (ui_ != nullptr) ui_->Message(kOutputDeviceMessage, kProductName, LButtons::kOk, LIcon::kInformation);
}

void LPlayback::Play(LSoundDocument& document, int32_t fromFrame) {
  document.cursor = fromFrame;
  if (!PlayDocument(document, true)) ShowDeviceMessage();
}

void LPlayback::PlayActive(bool keepCursor) {
  LSoundDocument* document = frame_ != nullptr ? frame_->ActiveDocument() : nullptr;
  if (document == nullptr) return;
  if (!PlayDocument(*document, keepCursor)) ShowDeviceMessage();
}

bool LPlayback::PlayDocument(LSoundDocument& document, bool keepCursor) {
  if (player_.Scrubbing()) {
    player_.ResumeNormal();
    return true;
  }
  player_.Close();
  const int32_t rate = document.sound.SampleRate();
  if (!keepCursor && int64_t{document.cursor} > int64_t{document.Length()} - rate) document.cursor = 0;
  document.ClampSelection();
  const bool selection = document.HasSelection();
  LRef<LSoundStream> source;
  if (selection) {
    document.cursor = document.selectionStart;
    LSegmentList upToEnd = document.sound;
    upToEnd.TrimEnd(document.selectionEnd);
    source = OpenSegmentStream(upToEnd);
  } else {
    source = OpenSegmentStream(document.sound);
  }
  if (document.cursor != 0) source->Seek(document.cursor);
  const double speed = streams_.timeStretch ? SpeedFactor(speed_) : 1.0;
  if (speed != 1.0) source = streams_.timeStretch(std::move(source), speed);
  player_.SetDevice(OutputDevice());
  if (repeat_) {
    // The range in milliseconds, as the loop stream takes it, then in the frames of the
    // (stretched) source.
    const int64_t startMs = FramesToMs(selection ? document.selectionStart : 0, rate);
    const int64_t endMs = FramesToMs(selection ? document.selectionEnd : document.Length(), rate);
    const double toSource = 1.0 / speed;
    source = MakeRef<LLoopStream>(std::move(source), Scaled(LoopMsToFrames(startMs, rate), toSource),
                                  Scaled(LoopMsToFrames(endMs, rate), toSource));
  }
  played_ = LRef<LSoundDocument>(&document);
  documentFramesPerFrame_ = speed;
  if (!player_.Open(std::move(source))) {
    played_.Reset();
    return false;
  }
  return true;
}

bool LPlayback::PlayStream(LRef<LSoundStream> stream) {
  player_.Close();
  player_.SetDevice(OutputDevice());
  played_.Reset();
  documentFramesPerFrame_ = 1.0;
  return player_.Open(std::move(stream));
}

void LPlayback::SetSpeed(LPlaySpeed speed) {
  speed_ = speed;
  settings_.Write(kPlaySpeed, static_cast<int32_t>(speed));
  RefreshBars();
  PlayActive(false);
}

void LPlayback::ToggleRepeat() {
  repeat_ = !repeat_;
  settings_.Write(kPlayRepeat, repeat_);
  RefreshBars();
}

void LPlayback::GoToStart() {
  if (player_.IsOpen()) {
    player_.Seek(0);
    return;
  }
  LSoundDocument* document = frame_ != nullptr ? frame_->ActiveDocument() : nullptr;
  if (document == nullptr) return;
  document->cursor = 0;
  const int32_t width = document->visibleEnd - document->visibleStart;
  document->visibleStart = 0;
  document->visibleEnd = width;
  document->LengthChanged();
  frame_->RedrawActiveDocument();
}

void LPlayback::GoToEnd() {
  if (player_.IsOpen()) {
    const int32_t length = player_.SourceLength();
    player_.Seek(player_.Scrubbing() ? length : std::max(0, length - player_.SampleRate()));
    return;
  }
  LSoundDocument* document = frame_ != nullptr ? frame_->ActiveDocument() : nullptr;
  if (document == nullptr) return;
  document->cursor = document->Length();
  const int32_t width = document->visibleEnd - document->visibleStart;
  document->visibleEnd = document->Length();
  document->visibleStart = std::max(0, document->visibleEnd - width);
  document->LengthChanged();
  frame_->RedrawActiveDocument();
}

void LPlayback::CueStart(LCueDirection direction) {
  if (direction == LCueDirection::kNone || cue_ == direction) return;
  if (cue_ != LCueDirection::kNone) CueEnd();
  LSoundDocument* document = frame_ != nullptr ? frame_->ActiveDocument() : nullptr;
  if (document == nullptr) return;
  resumeMode_ = player_.Scrubbing() ? 1 : (player_.IsOpen() ? 2 : 0);
  const bool fast = !player_.Scrubbing();
  player_.Close();
  const int32_t rate = document->sound.SampleRate();
  const int64_t step = fast ? rate / 5 : rate / 10;
  const int64_t moved = int64_t{document->cursor} + (direction == LCueDirection::kRewind ? -step : step);
  document->cursor = static_cast<int32_t>(std::clamp<int64_t>(moved, 0, document->Length()));
  LRef<LSoundStream> reader = OpenSegmentStream(document->sound);
  reader->Seek(document->cursor);
  const double sign = direction == LCueDirection::kRewind ? -1.0 : 1.0;
  if (!streams_.cue) return;
  LRef<LSoundStream> source =
      streams_.cue(std::move(reader), sign * (fast ? 7.0 : 3.0), sign * (fast ? 0.5 : 0.1), kCueRampMs);
  player_.SetDevice(OutputDevice());
  cueLowered_ = settings_.Read(kReduceVolWhenRewind);
  if (cueLowered_) player_.SetVolume(ClampDb(volumeDb_ - kCueVolumeDropDb));
  played_ = LRef<LSoundDocument>(document);
  documentFramesPerFrame_ = 1.0;
  if (!player_.Open(std::move(source))) played_.Reset();
  cue_ = direction;
}

void LPlayback::RestoreVolume() {
  if (volumeSet_) {
    player_.SetVolume(volumeDb_);
  } else {
    player_.SetDeviceVolume(kFullVolume);
  }
}

void LPlayback::CueEnd() {
  if (cue_ == LCueDirection::kNone) return;
  if (std::exchange(cueLowered_, false)) RestoreVolume();
  player_.Close();
  cue_ = LCueDirection::kNone;
  const int mode = std::exchange(resumeMode_, 0);
  if (mode == 1) {
    Scrub();
  } else if (mode == 2) {
    PlayActive(false);
  }
}

void LPlayback::Scrub() {
  if (player_.Scrubbing()) {
    PlayActive(false);
    return;
  }
  if (!player_.IsOpen()) PlayActive(false);
  player_.StartScrub();
}

void LPlayback::SetVolumeDb(int db) {
  volumeDb_ = ClampDb(db);
  volumeSet_ = true;
  player_.SetVolume(volumeDb_);
}

void LPlayback::OverridePlayOptions(LPlaySpeed speed, bool repeat, int device) {
  speed_ = speed;
  repeat_ = repeat;
  deviceOverride_ = device;
}

int LPlayback::OutputDevice() const { return deviceOverride_ >= 0 ? deviceOverride_ : settings_.Read(kSoundOutDevice); }

void LPlayback::PlayWhenOpened() {
  if (settings_.Read(kPlayWhenOpen)) PlayActive(false);
}

void LPlayback::Started(uint32_t /*context*/) {
  RefreshBars();
  if (display_ != nullptr) display_->Started(0);
}

void LPlayback::Stopped(uint32_t /*context*/) {
  played_.Reset();
  RefreshBars();
  if (display_ != nullptr) display_->Stopped(0);
}

void LPlayback::CueOrScrubStarted(uint32_t /*context*/) {
  RefreshBars();
  if (display_ != nullptr) display_->CueOrScrubStarted(0);
}

void LPlayback::Position(int64_t /*ms*/, int32_t frame, uint32_t /*context*/) {
  LSoundDocument* document = played_.Get();
  if (document == nullptr) return;
  const int32_t at = std::clamp(Scaled(frame, documentFramesPerFrame_), 0, document->Length());
  document->cursor = at;
  if (!document->HasSelection() && (at < document->visibleStart || at >= document->visibleEnd)) {
    // Page the view along so that the cursor stays visible.
    const int32_t width = std::max(1, document->visibleEnd - document->visibleStart);
    document->visibleStart = at;
    document->visibleEnd = static_cast<int32_t>(std::min<int64_t>(int64_t{at} + width, INT32_MAX));
    document->LengthChanged();
  }
  if (display_ != nullptr) display_->Position(FramesToMs(at, document->sound.SampleRate()), at, 0);
}

void LPlayback::Levels(const LLevelRecord& levels, uint32_t /*context*/) {
  if (display_ != nullptr && player_.IsOpen()) display_->Levels(levels, 0);
}

void AddPlayCommands(LCommandTable& table, LPlayback& playback) {
  auto add = [&table](int id, std::function<void()> run) {
    const LMenuEntry* entry = FindMenuCommand(id);
    table.Add({id, entry != nullptr ? entry->text : "", [run = std::move(run)](LCommandContext&) { run(); }});
  };
  LPlayback* p = &playback;
  add(kCmdPlay, [p] { p->PlayActive(false); });
  add(kCmdPlaySlow, [p] { p->SetSpeed(LPlaySpeed::kSlow); });
  add(kCmdPlayNormal, [p] { p->SetSpeed(LPlaySpeed::kNormal); });
  add(kCmdPlayFast, [p] { p->SetSpeed(LPlaySpeed::kFast); });
  add(kCmdStop, [p] { p->Stop(); });
  add(kCmdToStart, [p] { p->GoToStart(); });
  add(kCmdRewind, [p] { p->CueStart(LCueDirection::kRewind); });
  add(kCmdForward, [p] { p->CueStart(LCueDirection::kForward); });
  add(kCmdToEnd, [p] { p->GoToEnd(); });
  add(kCmdRepeat, [p] { p->ToggleRepeat(); });
}

}  // namespace klangor
