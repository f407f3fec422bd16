#pragma once
// Distortion ("Verzerrung"): a static odd curve of three straight pieces.
//
// Threshold T = trunc(10^(level / 20) x 131072) (at most the largest 32-bit value), inner
// threshold T1 = T >> 2. Slopes in Q24: inner (1 + 0.66 d), middle (1 - 0.22 d), outer (1 - d)
// for the degree d, each truncated. Offsets O1 = T1*inner - T1*middle and
// O2 = O1 - T*outer + T*middle (Q24 products) keep the curve continuous. For x >= 0: x*inner
// below T1, x*middle + O1 below T, x*outer + O2 from T on; negative samples mirror it
// (x*inner above -T1, x*middle - O1 above -T, x*outer - O2 otherwise). Sums wrap in 32 bits.
// With degree 0 every sample keeps its value; with degree 1 the output holds at T.
//
// The level is clamped to -127..127; slopes of degrees far outside 0..1 saturate at the
// 32-bit range (a degree that is not a number counts as 0).

#include <array>
#include <cstdint>
#include <string>

#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"

namespace klangor {

inline constexpr char kDistortionName[] = "Verzerrung";

struct LDistortionCurve {
  int32_t threshold = 0;       // T
  int32_t innerThreshold = 0;  // T1
  int32_t inner = 0;           // slopes, Q24
  int32_t middle = 0;
  int32_t outer = 0;
  int32_t offset1 = 0;  // O1
  int32_t offset2 = 0;  // O2
};

LDistortionCurve MakeDistortionCurve(double degree, int level);

// Applies the curve to `count` samples in place.
void ApplyDistortion(const LDistortionCurve& curve, int32_t* samples, size_t count);

class LDistortionStream final : public LSoundFilter {
 public:
  LDistortionStream(LRef<LSoundStream> input, const LDistortionCurve& curve);
  void Read(int32_t* frames, int32_t frameCount) override;

 private:
  LDistortionCurve curve_;
};

class LDistortionProcessor final : public LEffectProcessor {
 public:
  LDistortionProcessor(double degree, int level) : degree_(degree), level_(level) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  double degree_;
  int level_;
};

LEffectTask MakeDistortionTask(double degree, int level);

// The dialog "Verzerrung": degree (edit 101, text) and level (control 102, a decibel slider
// from -20 to 3, which holds its range).
class LDistortionDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Verzerrung";
  static constexpr int kDegreeEdit = 101;
  static constexpr int kLevelSlider = 102;
  static constexpr int kLevelMin = -20;  // the range of the stored value "Level" (dB)
  static constexpr int kLevelMax = 3;
  static constexpr char kDegreeMessage[] = "Verzögerungszeit muß zwischen 0.0 und 1.0 Millisekunden liegen";
  static constexpr std::array<const char*, 5> kPresets{"Voreinstellungen Wählen", "Clip", "Heavy", "Mittel",
                                                       "Light"};

  // `selection` is the selection copy the preview plays (the dialog keeps its own copy).
  LDistortionDialog(std::string degreeText, int32_t level, const LSegmentList& selection);
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  void SetLevel(int32_t value);
  int32_t Level() const { return level_; }
  LRef<LSoundStream> PreviewStream() const override;

  std::string degree;

 private:
  int32_t level_;
};

// The menu command "Verzerrung".
void DistortionCommand(LCommandContext& context);

}  // namespace klangor
