#pragma once
// The equalizer ("Equalizer..."): a gain curve over frequency, drawn by the user or made from
// a filter shape (effects/equalizer_curve.h), applied by the 2048-band FIR filter
// (effects/fir_filter.h) with the curve's mask at the sound's rate. The filter is linear
// phase and centred, so the output is in time with the input.

#include <array>
#include <cstdint>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "effects/effect.h"
#include "effects/equalizer_curve.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kEqualizerTitle[] = "Equalizing";
inline constexpr char kEqualizerUndoName[] = "Equalizer";

class LEqualizerProcessor final : public LEffectProcessor {
 public:
  explicit LEqualizerProcessor(LEqualizerCurve curve) : curve_(std::move(curve)) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  LEqualizerCurve curve_;
};

// Equalizes the document's selection with the curve (the batch's entry and the command's).
LResult RunEqualizer(LSoundDocument& document, const LEqualizerCurve& curve, LProgress& progress);

// The parameter dialog of a filter shape: "<shape> Einstellungen", with the spin ranges
// 0..20000 for the frequencies and the slope and 0..200 for Amp; the slope fields are disabled
// for "Notch", and the high- and low-pass shapes have one frequency only.
class LEqualizerShapeDialog final : public LDialogModel {
 public:
  static constexpr int32_t kFrequencyMin = 0;
  static constexpr int32_t kFrequencyMax = 20000;
  static constexpr int32_t kAmpMin = 0;
  static constexpr int32_t kAmpMax = 200;

  LEqualizerShapeDialog(LEqualizerShape shape, const LShapeParameters& parameters);
  std::string Title() const override;
  LEqualizerShape Shape() const { return shape_; }
  bool HasEndFrequency() const { return ShapeHasEndFrequency(shape_); }
  bool SlopeEnabled() const { return shape_ != LEqualizerShape::kNotch; }
  LShapeParameters Parameters() const { return {start, end, amp, slope}; }

  int32_t start;  // "Freq" for the high- and low-pass shapes
  int32_t end;
  int32_t amp;
  int32_t slope;

 private:
  LEqualizerShape shape_;
};

// The dialog "Equalizer": the curve, edited graphically (the first point stays at position 0
// and the last at 255; points keep their order; 2 to 64 points), the flat button (102), the
// button that puts every point on pos(hz(position)) (104), the shape list (105) with its
// settings and apply buttons. The shape parameters are stored values that the settings
// button edits and apply reads; applying writes the curve to the curve file and reads it back.
class LEqualizerDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Equalizer";
  static constexpr int kFlatButton = 102;
  static constexpr int kRemapButton = 104;
  static constexpr int kShapeList = 105;
  static constexpr int32_t kShapeMin = 0;
  static constexpr int32_t kShapeMax = 6;
  static constexpr char kChooseShapeMessage[] =
      "Bitte wählen Sie eine Voreinstellung, bevor Sie das Einstellungsfenster öffnen.";
  static constexpr char kChooseShapeCaption[] = "Klangor";

  LEqualizerDialog(LEqualizerCurve curve, int32_t shapeIndex, const LSegmentList& selection, LSettingsStore& settings,
                   std::string curvePath);
  std::string Title() const override { return kTitle; }

  const LEqualizerCurve& Curve() const { return curve_; }
  bool AddPoint(uint8_t position, uint8_t level);
  void MovePoint(size_t index, uint8_t position, uint8_t level);
  bool RemovePoint(size_t index);
  // The label while the mouse is over the graph at (position, level):
  // "%dHz, %d%% (%s)" with the frequency, the gain in percent and in decibels.
  static std::string HoverText(uint8_t position, uint8_t level);
  void Flatten();  // 102
  void Remap();    // 104

  int32_t ShapeIndex() const { return shapeIndex_; }
  void ChooseShape(int32_t index);
  // "Einstellungen": the message to show when no shape is chosen, else empty.
  std::string ShapeSettingsRefusal() const;
  // The chosen shape's parameter dialog with the stored values, and storing what it holds.
  LEqualizerShapeDialog ShapeDialog() const;
  void StoreShapeParameters(const LEqualizerShapeDialog& dialog);
  // Apply: the chosen shape's curve from its stored parameters, written to the curve file
  // and read back. Nothing without a chosen shape.
  void ApplyShape();

  LRef<LSoundStream> PreviewStream() const override;

  // The window's place on the screen (kNoWindowPosition until it was placed).
  int32_t windowX = kNoWindowPosition;
  int32_t windowY = kNoWindowPosition;

 private:
  LEqualizerCurve curve_;
  int32_t shapeIndex_;
  LSettingsStore& settings_;
  std::string curvePath_;
};

// The menu command "Equalizer...": the curve file is read before the dialog and written when
// it is confirmed, with the shape index and the window's place.
void EqualizerCommand(LCommandContext& context);

}  // namespace klangor
