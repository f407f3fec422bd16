#pragma once
// Split at silences ("Auto Split..."): the sound is cut into new documents at the quiet
// passages between sounds.
//
// Detection over the whole sound in windows of W = rate div 20 frames (20..8192), with the
// level threshold T = trunc(10^(D / 20) x 131072) for the threshold D dB (clamped to
// -127..127) and the minimum silence S ms in frames ((S mod 1000) x rate div 1000 +
// (S div 1000) x rate; a negative S counts as 0). For each window at frame p with the peak P
// over all channels: outside a sound, P > T starts a region at max(0, p - W div 2); inside,
// P > T makes p the last loud frame, and a window at or below T at least S frames after the
// last loud frame ends the region at min(last loud + 2 W, length) (kept when it ends after
// its start). The end of the sound closes an open region the same way.
//
// With two or more regions, each becomes a new document named "<name> (<index>)<extension>"
// holding the region's segments (no samples are copied), marked modified.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "frame/command_table.h"
#include "frame/user_interface.h"
#include "store/segment_list.h"

namespace klangor {

inline constexpr char kAutoSplitTitle[] = "Auto Split Komplett";
inline constexpr char kSaveBeforeSplitTitle[] = "Speichere Datei als...";
inline constexpr char kSaveBeforeSplitQuestion[] =
    "Die Datei wurde geändert. Sie muss vor dem Teilen gespeichert werden. Möchten Sie sie jetzt speichern?";
inline constexpr char kNothingToSplitMessage[] =
    "Es wurden weniger als zwei Bereiche gefunden. Die Datei wurde nicht geteilt.";

struct LSplitRegion {
  int32_t start = 0;
  int32_t end = 0;
  bool operator==(const LSplitRegion&) const = default;
};

// The detection as a sink: pump the whole sound into it, then Finish().
class LSplitScanSink final : public LSoundSink {
 public:
  LSplitScanSink(int32_t sampleRate, int channels, int32_t length, int32_t thresholdDb, int32_t minSilenceMs);
  void Write(const int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override { SetFramesWritten(frame); }
  void Finish() override;
  const std::vector<LSplitRegion>& Regions() const { return regions_; }
  int32_t WindowFrames() const { return window_; }

 private:
  void Window(int64_t position, int32_t peak);
  void Close();

  int32_t length_;
  int32_t window_;
  int32_t threshold_;
  int64_t minSilence_;
  int32_t filled_ = 0;      // frames of the current window so far
  int32_t windowPeak_ = 0;
  int64_t windowStart_ = 0;
  bool inside_ = false;
  int64_t regionStart_ = 0;
  int64_t lastLoud_ = 0;
  bool finished_ = false;
  std::vector<LSplitRegion> regions_;
};

// The regions of the whole sound.
LResult FindSplitRegions(const LSegmentList& sound, int32_t thresholdDb, int32_t minSilenceMs, LProgress& progress,
                         std::vector<LSplitRegion>& regions);

// The name of piece `index` of a document named `fileName` ("Unbenannt.wav" when empty).
std::string SplitPieceName(const std::string& fileName, int index);

// The dialog "Auto Split": the threshold (decibel slider 101) and the shortest silence in
// milliseconds (edit 102; a negative length is refused).
class LAutoSplitDialog final : public LDialogModel {
 public:
  static constexpr char kTitle[] = "Auto Split";
  static constexpr int kThresholdSlider = 101;
  static constexpr int kDurationEdit = 102;
  static constexpr int32_t kThresholdMin = -127;
  static constexpr int32_t kThresholdMax = 127;
  static constexpr int32_t kDurationMin = 0;
  static constexpr int32_t kDurationMax = INT32_MAX;
  static constexpr char kInvalidLengthMessage[] =
      "Die gewählte Stille (Länge) ist nicht gültig. Bitte versuchen Sie es erneut.";
  static constexpr char kInvalidLengthCaption[] = "Ungültige Länge (Stille)";

  LAutoSplitDialog(int32_t thresholdDb, int32_t durationMs);
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void SetThreshold(int32_t db);
  int32_t Threshold() const { return threshold_; }

  int32_t durationMs;

 private:
  int32_t threshold_;
};

// The menu command "Auto Split...".
void AutoSplitCommand(LCommandContext& context);

}  // namespace klangor
