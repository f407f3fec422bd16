#include "effects/equalizer.h"

#include <algorithm>
#include <cstdio>

#include "dsp/db_table.h"
#include "effects/effect_command.h"
#include "effects/stream_effect.h"
#include "settings/settings_keys.h"

namespace klangor {

LRef<LSoundStream> LEqualizerProcessor::MakeStream(LRef<LSoundStream> input) const {
  const int32_t rate = input->SampleRate();
  return MakeFirStream(std::move(input), EqualizerMask(curve_, rate));
}

LResult RunEqualizer(LSoundDocument& document, const LEqualizerCurve& curve, LProgress& progress) {
  return RunStreamEffect(document, {kEqualizerTitle, std::make_shared<LEqualizerProcessor>(curve)}, progress);
}

LEqualizerShapeDialog::LEqualizerShapeDialog(LEqualizerShape shape, const LShapeParameters& p)
    : start(std::clamp(p.start, kFrequencyMin, kFrequencyMax)),
      end(std::clamp(p.end, kFrequencyMin, kFrequencyMax)),
      amp(std::clamp(p.amp, kAmpMin, kAmpMax)),
      slope(std::clamp(p.slope, kFrequencyMin, kFrequencyMax)),
      shape_(shape) {}

std::string LEqualizerShapeDialog::Title() const {
  return std::string(kEqualizerShapeEntries[static_cast<size_t>(shape_)]) + " Einstellungen";
}

LEqualizerDialog::LEqualizerDialog(LEqualizerCurve curve, int32_t shapeIndex, const LSegmentList& selection,
                                   LSettingsStore& settings, std::string curvePath)
    : LPreviewDialog(selection),
      curve_(std::move(curve)),
      shapeIndex_(std::clamp(shapeIndex, kShapeMin, kShapeMax)),
      settings_(settings),
      curvePath_(std::move(curvePath)) {
  if (curve_.size() > kMaxEnvelopePoints) curve_.resize(kMaxEnvelopePoints);
  if (curve_.size() < 2) curve_ = FlatEnvelope();
  curve_.front().position = 0;
  curve_.back().position = 255;
  for (size_t i = 1; i < curve_.size(); ++i) {
    curve_[i].position = std::max(curve_[i].position, curve_[i - 1].position);
  }
}

bool LEqualizerDialog::AddPoint(uint8_t position, uint8_t level) {
  if (curve_.size() >= kMaxEnvelopePoints) return false;
  // New points go between the end points, in position order.
  auto at = std::upper_bound(curve_.begin() + 1, curve_.end() - 1, position,
                             [](uint8_t p, const LEnvelopePoint& point) { return p < point.position; });
  curve_.insert(at, LEnvelopePoint{position, level});
  return true;
}

void LEqualizerDialog::MovePoint(size_t index, uint8_t position, uint8_t level) {
  if (index >= curve_.size()) return;
  uint8_t low = index > 0 ? curve_[index - 1].position : 0;
  uint8_t high = index + 1 < curve_.size() ? curve_[index + 1].position : 255;
  if (index == 0) high = 0;
  if (index + 1 == curve_.size()) low = 255;
  curve_[index] = {std::clamp(position, low, high), level};
}

bool LEqualizerDialog::RemovePoint(size_t index) {
  if (curve_.size() <= 2 || index == 0 || index + 1 >= curve_.size()) return false;
  curve_.erase(curve_.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

std::string LEqualizerDialog::HoverText(uint8_t position, uint8_t level) {
  char decibels[16];
  const int db = DbByteOfGain(level * kEnvelopeLevelGain);
  if (db <= kSilentDb) {
    std::snprintf(decibels, sizeof decibels, "--dB");
  } else {
    std::snprintf(decibels, sizeof decibels, db > 0 ? "+%ddB" : "%ddB", db);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%dHz, %d%% (%s)", EqualizerHz(position), (level * 100 + 64) / 128, decibels);
  return text;
}

void LEqualizerDialog::Flatten() { curve_ = FlatEnvelope(); }

void LEqualizerDialog::Remap() {
  for (size_t i = 0; i + 1 < curve_.size(); ++i) {
    curve_[i].position = static_cast<uint8_t>(EqualizerPosition(EqualizerHz(curve_[i].position)));
  }
  curve_.back().position = 255;
}

void LEqualizerDialog::ChooseShape(int32_t index) { shapeIndex_ = std::clamp(index, kShapeMin, kShapeMax); }

std::string LEqualizerDialog::ShapeSettingsRefusal() const {
  return shapeIndex_ == 0 ? kChooseShapeMessage : std::string();
}

LEqualizerShapeDialog LEqualizerDialog::ShapeDialog() const {
  const auto shape = static_cast<LEqualizerShape>(shapeIndex_);
  return LEqualizerShapeDialog(shape, ReadShapeParameters(settings_, shape));
}

void LEqualizerDialog::StoreShapeParameters(const LEqualizerShapeDialog& dialog) {
  WriteShapeParameters(settings_, dialog.Shape(), dialog.Parameters());
}

void LEqualizerDialog::ApplyShape() {
  if (shapeIndex_ == 0) return;
  const auto shape = static_cast<LEqualizerShape>(shapeIndex_);
  SaveEnvelopeFile(curvePath_, ShapeCurve(shape, ReadShapeParameters(settings_, shape)));
  curve_ = LoadEnvelopeFile(curvePath_);
}

LRef<LSoundStream> LEqualizerDialog::PreviewStream() const {
  return LEqualizerProcessor(curve_).MakeStream(SelectionStream());
}

void EqualizerCommand(LCommandContext& context) {
  LEqualizerCurve curve;
  LEffectCommand command{.undoName = kEqualizerUndoName, .title = kEqualizerTitle};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    const std::string path = EqualizerFilePath();
    LEqualizerDialog dialog(LoadEnvelopeFile(path), ctx.settings.Read(kEQPreset), selection, ctx.settings, path);
    dialog.windowX = ctx.settings.Read(kEQWindowX);
    dialog.windowY = ctx.settings.Read(kEQWindowY);
    const bool confirmed = ctx.ui.RunDialog(dialog);
    if (dialog.windowX != kNoWindowPosition) ctx.settings.Write(kEQWindowX, dialog.windowX);
    if (dialog.windowY != kNoWindowPosition) ctx.settings.Write(kEQWindowY, dialog.windowY);
    if (!confirmed) return false;
    curve = dialog.Curve();
    SaveEnvelopeFile(path, curve);
    ctx.settings.Write(kEQPreset, dialog.ShapeIndex());
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) { return RunEqualizer(document, curve, progress); };
  RunEffectCommand(context, command);
}

}  // namespace klangor
