#pragma once
// The dynamic range compressor: a stream effect that measures the level of every 45 ms
// window and ramps the gain towards the gain table's entry for it.
//
// The stream reads one window ahead of its output. The gain at the start of the first
// window is the table entry of that window's level. For every later window the gain ramps
// towards the entry of the window after it: down by (target - g) div (W + W div 4) per
// frame, or up (and when steady) by ((previous target + target) div 2 - g) div (2W). With
// ratio "1:1" the table is flat at unity and every sample keeps its value.
//
// The limit is collected by the dialog, stored and carried along, but it does not shape the
// table: the upper level of the table is always 127.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/gain_table.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kCompressorName[] = "Dynamic Range Compressor";
inline constexpr int32_t kCompressorFullScale = 4194303;
inline constexpr uint32_t kCompressorWindowMs = 45;

struct LCompressorRatio {
  const char* label;
  double factor;  // gain factor per decibel above the threshold: 10^((1/ratio - 1) / 20)
};

inline constexpr int kCompressorRatioCount = 7;

inline constexpr std::array<LCompressorRatio, kCompressorRatioCount> kCompressorRatios{{
    {"1:1", 1.0},
    {"3:2", 0.9623506263981255},
    {"2:1", 0.9440608762859234},
    {"3:1", 0.9261187281287935},
    {"4:1", 0.9172759353897796},
    {"5:1", 0.9120108393559098},
    {"Limit", 0.8912509382363546},
}};

// Whether a stored ratio index names an entry of the table.
inline bool IsCompressorRatio(int32_t index) { return index >= 0 && index < kCompressorRatioCount; }
// The label and factor of a ratio index; "" and 1.0 outside the table.
inline const char* CompressorRatioLabel(int32_t index) {
  return IsCompressorRatio(index) ? kCompressorRatios[static_cast<size_t>(index)].label : "";
}
inline double CompressorRatioFactor(int32_t index) {
  return IsCompressorRatio(index) ? kCompressorRatios[static_cast<size_t>(index)].factor : 1.0;
}

class LCompressorStream final : public LSoundFilter {
 public:
  LCompressorStream(LRef<LSoundStream> input, int threshold, double factor,
                    uint32_t windowMs = kCompressorWindowMs);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  void Seek(int32_t frame) override;

  int32_t WindowFrames() const { return window_; }

 private:
  void NextWindow();
  int32_t LevelGain(const std::vector<int32_t>& window) const;

  LGainTable table_;
  int32_t window_;
  std::vector<int32_t> current_;
  std::vector<int32_t> next_;
  int32_t offset_;  // frames of the current window already output
  bool firstWindow_ = true;
  int32_t gain_ = 0;
  int32_t step_ = 0;
  int32_t previousTarget_ = 0;
  int32_t target_ = 0;
};

class LCompressorProcessor final : public LEffectProcessor {
 public:
  LCompressorProcessor(int8_t threshold, double factor, int8_t limit,
                       uint32_t windowMs = kCompressorWindowMs)
      : threshold_(threshold), factor_(factor), windowMs_(windowMs), limit_(limit) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

  int8_t Threshold() const { return threshold_; }
  int8_t Limit() const { return limit_; }

 private:
  int8_t threshold_;
  double factor_;
  uint32_t windowMs_;
  int8_t limit_;
};

// The task "Dynamic Range Compressor"; threshold and limit are clamped to signed bytes.
LEffectTask MakeCompressorTask(int32_t threshold, double factor, int32_t limit);

// Compresses the document's selection (the batch processor's entry, and the menu command's).
LResult RunCompressor(LSoundDocument& document, int threshold, double factor, int limit,
                      LProgress& progress);

// The dialog "Dynamic Range Compressor": threshold slider (101), ratio list (102), limit
// slider (103) and preset list (104). The sliders hold their ranges; the ratio index is kept
// as given, so an index outside the list shows no selection and comes back unchanged.
class LCompressorDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Dynamic Range Compressor";
  static constexpr int kThresholdSlider = 101;
  static constexpr int kRatioList = 102;
  static constexpr int kLimitSlider = 103;
  static constexpr int kPresetList = 104;
  // The ranges of the stored values "CompressorThreshold" and "CompressorLimit" (dB).
  static constexpr int32_t kThresholdMin = -60;
  static constexpr int32_t kThresholdMax = 0;
  static constexpr int32_t kLimitMin = 0;
  static constexpr int32_t kLimitMax = 20;
  static constexpr std::array<const char*, 3> kPresets{
      "Voreinstellungen Wählen", "Allgemeines Voice Level", "TV/Radio Unterstützung"};

  // `selection` is the selection copy the preview plays (the dialog keeps its own copy).
  LCompressorDialog(int32_t threshold, int32_t ratioIndex, int32_t limit, const LSegmentList& selection);
  std::string Title() const override { return kTitle; }

  static std::vector<std::string> RatioLabels();
  // Copies a preset's values into the controls; the first entry changes nothing.
  void ChoosePreset(int index);

  // The compressed selection as the controls stand now.
  LRef<LSoundStream> PreviewStream() const override;

  int32_t threshold;
  int32_t ratioIndex;
  int32_t limit;
};

// The menu command: reads the stored values (default 0 for each), shows the dialog, stores
// what the user chose, and compresses the selection; a ratio index outside the table ends
// the command without an undo step.
void CompressorCommand(LCommandContext& context);

}  // namespace klangor
