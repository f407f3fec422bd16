#include "edit/auto_split.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "audio/pump.h"
#include "audio/time_units.h"
#include "dsp/effect_math.h"
#include "dsp/fixed_point.h"
#include "edit/save_sound.h"
#include "frame/command_steps.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {

LSplitScanSink::LSplitScanSink(int32_t sampleRate, int channels, int32_t length, int32_t thresholdDb,
                               int32_t minSilenceMs)
    : LSoundSink(sampleRate, channels),
      length_(length),
      window_(std::clamp(sampleRate / 20, 20, 8192)),
      threshold_(TruncToInt32(std::pow(10.0, std::clamp(thresholdDb, -127, 127) / 20.0) * 131072.0)),
      minSilence_(MsToFrames(std::max(minSilenceMs, 0), sampleRate)) {}

void LSplitScanSink::Write(const int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  for (int32_t done = 0; done < frameCount;) {
    const int32_t n = std::min(frameCount - done, window_ - filled_);
    windowPeak_ = std::max(windowPeak_, PeakOf(frames + static_cast<size_t>(done) * channels,
                                               static_cast<size_t>(n) * channels));
    filled_ += n;
    done += n;
    if (filled_ == window_) {
      Window(windowStart_, windowPeak_);
      windowStart_ += window_;
      filled_ = 0;
      windowPeak_ = 0;
    }
  }
  AddFramesWritten(frameCount);
}

void LSplitScanSink::Window(int64_t position, int32_t peak) {
  if (!inside_) {
    if (peak > threshold_) {
      regionStart_ = std::max<int64_t>(0, position - window_ / 2);
      lastLoud_ = position;
      inside_ = true;
    }
  } else if (peak > threshold_) {
    lastLoud_ = position;
  } else if (position - lastLoud_ >= minSilence_) {
    Close();
  }
}

void LSplitScanSink::Close() {
  const int64_t end = std::min<int64_t>(lastLoud_ + 2 * int64_t{window_}, length_);
  if (end > regionStart_) regions_.push_back({static_cast<int32_t>(regionStart_), static_cast<int32_t>(end)});
  inside_ = false;
}

void LSplitScanSink::Finish() {
  if (finished_) return;
  finished_ = true;
  // The last window is read past the end, as silence.
  if (filled_ > 0) Window(windowStart_, windowPeak_);
  if (inside_) Close();
}

LResult FindSplitRegions(const LSegmentList& sound, int32_t thresholdDb, int32_t minSilenceMs, LProgress& progress,
                         std::vector<LSplitRegion>& regions) {
  LRef<LSoundStream> reader = OpenSegmentStream(sound);
  auto scan = MakeRef<LSplitScanSink>(sound.SampleRate(), sound.Channels(), sound.Length(), thresholdDb, minSilenceMs);
  const LResult result = PumpRange(*reader, *scan, 0, sound.Length(), progress);
  if (result != LResult::kDone) return result;
  scan->Finish();
  regions = scan->Regions();
  return LResult::kDone;
}

std::string SplitPieceName(const std::string& fileName, int index) {
  const std::string path = fileName.empty() ? std::string("Unbenannt.wav") : fileName;
  const std::string name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
  const std::string piece = stem + " (" + std::to_string(index) + ")" + extension;
  const std::string folder = fileName.empty() ? std::string() : FolderOf(fileName);
  return folder.empty() ? piece : JoinPath(folder, piece);
}

LAutoSplitDialog::LAutoSplitDialog(int32_t thresholdDb, int32_t duration)
    : durationMs(duration), threshold_(std::clamp(thresholdDb, kThresholdMin, kThresholdMax)) {}

std::string LAutoSplitDialog::Validate() { return durationMs < 0 ? kInvalidLengthMessage : std::string(); }

void LAutoSplitDialog::SetThreshold(int32_t db) { threshold_ = std::clamp(db, kThresholdMin, kThresholdMax); }

namespace {

// Asks to save a modified document first; false when the user declines or saving fails.
bool SaveBeforeSplit(LCommandContext& context, LSoundDocument& document) {
  if (!document.modified) return true;
  if (context.ui.Message(kSaveBeforeSplitQuestion, "Klangor", LButtons::kYesNo, LIcon::kQuestion) != LAnswer::kYes) {
    return false;
  }
  const std::optional<std::string> path = context.ui.ChooseSaveFile(
      {kSaveBeforeSplitTitle, "Wave (*.wav)", "wav", context.settings.Read(kSaveAsDir)});
  if (!path) return false;
  context.settings.Write(kSaveAsDir, FolderOf(*path));
  if (SaveSoundAs(context, document.sound, *path, document.tags) != LResult::kDone) return false;
  document.fileName = *path;
  document.modified = false;
  return true;
}

}  // namespace

void AutoSplitCommand(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  LRef<LSoundDocument> held(document);
  if (!SaveBeforeSplit(context, *document)) return;
  LAutoSplitDialog dialog(context.settings.Read(kAutoSplitThreshold), context.settings.Read(kAutoSplitDuration));
  if (!context.ui.RunDialog(dialog)) return;
  context.settings.Write(kAutoSplitThreshold, dialog.Threshold());
  context.settings.Write(kAutoSplitDuration, dialog.durationMs);
  std::vector<LSplitRegion> regions;
  const LResult result = context.ui.RunWithProgress(kAutoSplitTitle, [&](LProgress& progress) {
    progress.SetTitle(kAutoSplitTitle);
    return FindSplitRegions(document->sound, dialog.Threshold(), dialog.durationMs, progress, regions);
  });
  if (result != LResult::kDone) return;
  if (regions.size() < 2) {
    context.ui.Message(kNothingToSplitMessage, kAutoSplitTitle, LButtons::kOk, LIcon::kInformation);
    return;
  }
  for (size_t i = 0; i < regions.size(); ++i) {
    auto piece = MakeRef<LSoundDocument>();
    document->sound.ExtractRange(regions[i].start, regions[i].end, piece->sound);
    piece->fileName = SplitPieceName(document->fileName, static_cast<int>(i));
    piece->modified = true;
    piece->LengthChanged();
    ShowAll(*piece);
    context.frame.OpenDocument(piece);
  }
}

}  // namespace klangor
