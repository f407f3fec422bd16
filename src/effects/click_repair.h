#pragma once
// Click repair: automatic detection and repair over the selection ("&Auto
// Störgeräuschrestoration", progress "Click Detecting") and manual repair of a selection of
// at most one millisecond ("Manueller Klick/Pop Reduzierung").
//
// Detection works on the sound seen through the high-pass filter at 1500 Hz
// (effects/high_pass.h), per channel, in windows. Over a window x of W frames, with the lag d:
// A = mean |x|, D = mean |x[i] - x[i - d]| (i from d), S = the root of the mean of
// (|x[i] - x[i - d]| - D)^2, k = 100 - sensitivity (at least 1); thresholds
// a = k A div 50 + D and j = (k S div 50 + 100 + D) (k div 10). A click starts at a scanned
// frame i with |x[i]| - |x[i - d]| > j and |x[i]| > a; it ends at the first later frame m whose
// |x| is below |x[i]| div 3, and frames i - d to m (both included) are repaired; the scan goes
// on at m + d. When no such frame comes within the longest click, it is no click: j and a are
// raised by half and the scan goes on.
//
// A repaired range of one channel is the straight line between the sample before it (first)
// and the sample after it (last): with L = length + 1, the k-th sample (k = 1..L - 1) becomes
// (k last + (L - k) first) div L. The other channels keep their samples.
//
// Automatic: W = rate div 100 + 4 with its two lowest bits cleared, advancing by W / 2, each
// window scanning its central half (from d + W div 4 on, W div 2 frames), so that the central
// halves tile the selection; d = rate div 44100 + 1; the longest click is
// rate x MaxClickLength div 1000000 frames. All ranges are found first and then written in one
// pass (clipped to the selection), so a cancel leaves the sound as it was.
//
// Manual: k is 35, the longest click trunc(rate x 450 x 0.000001) frames (at least 4), the
// window rate div 100 frames or twice the longest click if that is larger, centred on the
// selection, d = rate div 22050 + 1; only frames of the selection are scanned and repaired.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "frame/user_interface.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kClickRepairName[] = "&Auto Störgeräuschrestoration";
inline constexpr char kClickDetectingTitle[] = "Click Detecting";
inline constexpr char kManualClickName[] = "Manueller Klick/Pop Reduzierung";
inline constexpr char kManualClickTooLongMessage[] =
    "Klangor kann einen Bereich dieser Größe nicht manuell reduzieren. Bitte wählen Sie einen kleineren Bereich.";

// Frames [start, end) of one channel, repaired.
struct LRepairRange {
  int channel = 0;
  int32_t start = 0;
  int32_t end = 0;
  bool operator==(const LRepairRange&) const = default;
};

struct LClickRule {
  int32_t k = 50;          // 100 - sensitivity, at least 1
  int32_t lag = 1;         // d
  int32_t longest = 6;     // frames a click may last
};

// The automatic detector's rule for a rate and the stored settings.
LClickRule AutoClickRule(int32_t sampleRate, int32_t sensitivity, int32_t maxClickLengthUs);

// The ranges found in frames [scanFrom, scanTo) of channel `channel` of `x` (interleaved
// detection samples; frame 0 of the buffer is frame `firstFrame` of the sound), with the
// statistics over frames [statsFrom, statsTo). Walks stay inside the buffer.
void FindClicks(const int32_t* x, int32_t frames, int channels, int channel, int32_t statsFrom, int32_t statsTo,
                int32_t scanFrom, int32_t scanTo, const LClickRule& rule, int64_t firstFrame,
                std::vector<LRepairRange>& found);

// Sorts the ranges, joins those of a channel that overlap or touch, and clips them to
// [from, to).
std::vector<LRepairRange> ArrangeRepairs(std::vector<LRepairRange> ranges, int32_t from, int32_t to);

// The input with the ranges repaired (ranges as ArrangeRepairs leaves them). The input is read
// ahead by the longest range and one frame.
class LRangeRepairStream final : public LSoundFilter {
 public:
  LRangeRepairStream(LRef<LSoundStream> input, std::vector<LRepairRange> ranges);
  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return position_; }
  void Seek(int32_t frame) override;

 private:
  int32_t Sample(int64_t frame, int channel) const;

  std::vector<LRepairRange> ranges_;
  int32_t margin_;            // frames kept before and read after the output
  int32_t position_;
  int64_t bufferStart_ = 0;   // the frame of buffer_'s first frame
  std::vector<int32_t> buffer_;
};

// Finds the clicks of the document's selection and repairs them. The ranges found are
// reported through `found` when it is given.
LResult RunClickRepair(LSoundDocument& document, int32_t sensitivity, int32_t maxClickLengthUs, LProgress& progress,
                       std::vector<LRepairRange>* found = nullptr);

// The manual repair of `frames` frames from the input's position on.
class LManualClickProcessor final : public LEffectProcessor {
 public:
  explicit LManualClickProcessor(int32_t frames) : frames_(frames) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  int32_t frames_;
};

// The dialog "Auto Störgeräuschrestoration": the sensitivity slider (101, 0 to 100, a tick
// every 50) and the longest click in microseconds (edit 102). Both hold their ranges.
class LClickRepairDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Auto Störgeräuschrestoration";
  static constexpr int kSensitivitySlider = 101;
  static constexpr int kMaxLengthEdit = 102;
  static constexpr int32_t kSensitivityMin = 0;
  static constexpr int32_t kSensitivityMax = 100;
  static constexpr int32_t kSensitivityTick = 50;
  static constexpr int32_t kMaxLengthMin = 0;
  static constexpr int32_t kMaxLengthMax = 10000;  // microseconds

  LClickRepairDialog(int32_t sensitivity, int32_t maxLengthUs, const LSegmentList& selection);
  std::string Title() const override { return kTitle; }
  void SetSensitivity(int32_t value);
  void SetMaxLength(int32_t microseconds);
  int32_t Sensitivity() const { return sensitivity_; }
  int32_t MaxLength() const { return maxLength_; }
  LRef<LSoundStream> PreviewStream() const override;

 private:
  int32_t sensitivity_;
  int32_t maxLength_;
};

// The menu commands.
void ClickRepairCommand(LCommandContext& context);
void ManualClickRepairCommand(LCommandContext& context);

}  // namespace klangor
