#include "recorder/record_dialog.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "audio/time_units.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "recorder/recorder_settings.h"
#include "recorder/take_file.h"
#include "settings/settings_keys.h"

namespace klangor {
namespace {

constexpr int64_t kForwardMs = 5000;

std::string Format(const char* pattern, const std::string& value) {
  std::string text(pattern);
  const size_t at = text.find("%s");
  return at == std::string::npos ? text : text.replace(at, 2, value);
}

}  // namespace

LRecordDialog::LRecordDialog(LRecordDialogParts parts, int32_t sampleRate, int channels)
    : parts_(std::move(parts)),
      rate_(sampleRate > 0 ? sampleRate : 44100),
      channels_(std::clamp(channels, 1, 255)),
      recorder_(parts_.notifier, parts_.inputs),
      player_(parts_.notifier, parts_.outputs) {
  if (parts_.takeFolder.empty()) parts_.takeFolder = JoinPath(DataFolder(), "Aufnahmen");
  const LSettingsStore& settings = parts_.settings;
  recordDevice = settings.Read(kRecorderDevice);
  recordVolumeDb = settings.Read(kRecorderVolume);
  input = settings.Read(kRecorderChannel);
  playbackDevice = settings.Read(kPlayerDevice);
  playbackVolumeDb = settings.Read(kPlayerVolumeDB);
  recorder_.SetListener(this, 0);
  name = NextTakeName();
}

LRecordDialog::~LRecordDialog() {
  recorder_.SetListener(nullptr, 0);
  StopAll();
}

std::string LRecordDialog::NextTakeName() const {
  for (int n = 1;; ++n) {
    const std::string candidate = "Aufnahme " + std::to_string(n);
    const bool used = std::any_of(takes_.begin(), takes_.end(), [&](const LTakeEntry& t) { return t.name == candidate; });
    if (!used && !FileExists(TakePath(candidate))) return candidate;
  }
}

std::string LRecordDialog::TakePath(const std::string& takeName) const {
  return JoinPath(parts_.takeFolder, takeName + ".wav");
}

std::string LRecordDialog::Validate() {
  StopAll();
  if (name.find('/') != std::string::npos) return kSlashMessage;
  parts_.settings.Write(kRecorderDevice, recordDevice);
  parts_.settings.Write(kRecorderVolume, recordVolumeDb);
  parts_.settings.Write(kRecorderChannel, input);
  parts_.settings.Write(kPlayerDevice, playbackDevice);
  parts_.settings.Write(kPlayerVolumeDB, playbackVolumeDb);
  return {};
}

std::vector<std::string> LRecordDialog::RecordDeviceNames() const { return parts_.inputs.Names(); }
std::vector<std::string> LRecordDialog::PlaybackDeviceNames() const { return parts_.outputs.Names(); }

std::vector<std::string> LRecordDialog::InputNames() const {
  std::vector<std::string> names{kSystemInputName};
  const int count = parts_.mixer ? MixerInputCount(parts_.mixer, recordDevice) : 0;
  for (int i = 0; i < count; ++i) names.push_back(MixerInputName(parts_.mixer, recordDevice, i));
  return names;
}

void LRecordDialog::ApplyInput() {
  if (parts_.mixer) SelectMixerInput(parts_.mixer, recordDevice, input, recordVolumeDb);
}

void LRecordDialog::ApplyPlaybackVolume() { player_.SetVolume(playbackVolumeDb); }

bool LRecordDialog::StartInto(const std::string& path, int64_t keepFrames) {
  message_.clear();
  player_.Close();
  std::error_code ignored;
  std::filesystem::create_directories(parts_.takeFolder, ignored);
  if (::access(parts_.takeFolder.c_str(), W_OK) != 0) {
    message_ = Format(kFolderMessage, parts_.takeFolder);
    Changed();
    return false;
  }
  LRef<LSoundSink> sink = CreateTakeFile(path, rate_, channels_, static_cast<int32_t>(keepFrames));
  if (sink->Failed()) {
    message_ = Format(kFolderMessage, parts_.takeFolder);
    Changed();
    return false;
  }
  ApplyInput();
  const LRecorderStart start = RecorderStartFor(parts_.settings);
  recorder_.SetDevice(recordDevice);
  recorder_.SetSink(std::move(sink));
  if (!recorder_.Start(0, start.threshold, start.silenceMs, LThreadPriority::kTimeCritical)) {
    message_ = recorder_.LastError();
    Changed();
    return false;
  }
  Changed();
  return true;
}

void LRecordDialog::Opened() {
  if (takes_.empty() && parts_.settings.Read(kRecorderAutostart)) NewTake();
}

bool LRecordDialog::NewTake() {
  StopAll();
  if (name.empty()) {
    message_ = kEmptyNameMessage;
    Changed();
    return false;
  }
  if (name.find('/') != std::string::npos) {
    message_ = kSlashMessage;
    Changed();
    return false;
  }
  LTakeEntry take{name, TakePath(name), 0};
  if (std::any_of(takes_.begin(), takes_.end(), [&](const LTakeEntry& t) { return t.path == take.path; }) ||
      FileExists(take.path)) {
    take.name = NextTakeName();
    take.path = TakePath(take.name);
  }
  if (!StartInto(take.path, 0)) {
    RemoveFile(take.path);
    return false;
  }
  takes_.push_back(take);
  current = static_cast<int>(takes_.size()) - 1;
  name = NextTakeName();
  Changed();
  return true;
}

bool LRecordDialog::Restart() {
  if (current < 0) return NewTake();
  if (recorder_.IsRunning()) {
    recorder_.Restart();
    Changed();
    return recorder_.IsRunning();
  }
  return StartInto(takes_[static_cast<size_t>(current)].path, 0);
}

bool LRecordDialog::Retake() {
  if (current < 0) return NewTake();
  StopAll();
  const LTakeEntry dropped = takes_[static_cast<size_t>(current)];
  RemoveFile(dropped.path);
  takes_[static_cast<size_t>(current)].frames = 0;
  return StartInto(dropped.path, 0);
}

bool LRecordDialog::Record() {
  if (recorder_.IsRunning()) {
    recorder_.Stop();
    return true;
  }
  if (current < 0) return NewTake();
  const LTakeEntry& take = takes_[static_cast<size_t>(current)];
  return StartInto(take.path, take.frames);
}

void LRecordDialog::StopAll() {
  if (recorder_.IsRunning()) recorder_.Stop();
  player_.Close();
  UpdateCurrentFrames();
}

void LRecordDialog::ToStart() {
  if (recorder_.IsRunning()) recorder_.Stop();
  const std::string path = ChosenTakePath();
  if (path.empty()) return;
  player_.SetDevice(playbackDevice);
  player_.SetVolume(playbackVolumeDb);
  if (!player_.Open(OpenTakeSource(path))) message_ = player_.LastError();
  Changed();
}

void LRecordDialog::Forward() {
  if (!player_.IsOpen()) return;
  const int64_t target = player_.PlayedPosition() + MsToFrames(kForwardMs, rate_);
  player_.Seek(static_cast<int32_t>(std::min<int64_t>(target, player_.SourceLength())));
}

void LRecordDialog::ToEnd() {
  player_.Close();
  Changed();
}

std::string LRecordDialog::ChosenTakePath() const {
  if (current < 0 || static_cast<size_t>(current) >= takes_.size()) return {};
  const LTakeEntry& take = takes_[static_cast<size_t>(current)];
  return take.frames > 0 ? take.path : std::string();
}

int64_t LRecordDialog::TakeMs() const {
  if (recorder_.IsRunning()) return FramesToMs(recorder_.TakeFrames(), rate_);
  if (current < 0) return 0;
  return FramesToMs(takes_[static_cast<size_t>(current)].frames, rate_);
}

void LRecordDialog::UpdateCurrentFrames() {
  if (current < 0) return;
  LTakeEntry& take = takes_[static_cast<size_t>(current)];
  LRef<LSoundStream> stream = OpenTakeSource(take.path);
  take.frames = stream->State() == LStreamState::kOk ? stream->Length() : 0;
}

void LRecordDialog::Stopped(uint32_t) {
  UpdateCurrentFrames();
  Changed();
}

void LRecordDialog::Levels(const LLevelRecord& levels, uint32_t) {
  levels_ = levels;
  Changed();
}

void LRecordDialog::Problem(const std::string& message, uint32_t) {
  message_ = message;
  Changed();
}

void LRecordDialog::Changed() {
  if (changed) changed();
}

}  // namespace klangor
