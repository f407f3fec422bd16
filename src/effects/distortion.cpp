#include "effects/distortion.h"

#include <algorithm>
#include <cmath>

#include "dsp/effect_math.h"
#include "dsp/fixed_point.h"
#include "effects/effect_command.h"
#include "platform/cpu_features.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {

// The sliders span the ranges of their stored values.
static_assert(LDistortionDialog::kLevelMin == kDistortionLevel.range.min);
static_assert(LDistortionDialog::kLevelMax == kDistortionLevel.range.max);
namespace {

int32_t WrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t WrappingSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace

LDistortionCurve MakeDistortionCurve(double degree, int level) {
  level = std::clamp(level, -127, 127);
  LDistortionCurve curve;
  curve.threshold = TruncToInt32(std::pow(10.0, level / 20.0) * 131072.0);
  curve.innerThreshold = curve.threshold >> 2;
  curve.inner = TruncToInt32((1.0 + 0.66 * degree) * 16777216.0);
  curve.middle = TruncToInt32((1.0 - 0.22 * degree) * 16777216.0);
  curve.outer = TruncToInt32((1.0 - degree) * 16777216.0);
  const int32_t t1 = curve.innerThreshold;
  const int32_t t = curve.threshold;
  curve.offset1 = WrappingSub(MulQ24(t1, curve.inner), MulQ24(t1, curve.middle));
  curve.offset2 = WrappingAdd(WrappingSub(curve.offset1, MulQ24(t, curve.outer)), MulQ24(t, curve.middle));
  return curve;
}

namespace {

// Each piece of the curve is a Q24 product plus an offset, so the piece is chosen first and
// one product taken. Run on AVX2 where there is one, whose 32-bit multiply the product needs.
[[gnu::always_inline]] inline void ApplyDistortionCode(const LDistortionCurve& curve, int32_t* samples, size_t count) {
  const auto t1 = static_cast<uint32_t>(curve.innerThreshold);
  const auto t = static_cast<uint32_t>(curve.threshold);
  const int32_t inner = curve.inner;
  const int32_t middle = curve.middle;
  const int32_t outer = curve.outer;
  const auto o1 = static_cast<uint32_t>(curve.offset1);
  const auto o2 = static_cast<uint32_t>(curve.offset2);
  for (size_t i = 0; i < count; ++i) {
    const int32_t x = samples[i];
    const bool negative = x < 0;
    // The magnitude as an unsigned value, so that the most negative sample has one too.
    const uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(x) : static_cast<uint32_t>(x);
    const bool innerPiece = magnitude < t1;
    const bool middlePiece = magnitude < t;
    const int32_t slope = innerPiece ? inner : (middlePiece ? middle : outer);
    const uint32_t offset = innerPiece ? 0u : (middlePiece ? o1 : o2);
    samples[i] = static_cast<int32_t>(static_cast<uint32_t>(MulQ24(x, slope)) + (negative ? 0u - offset : offset));
  }
}

}  // namespace

void ApplyDistortion(const LDistortionCurve& curve, int32_t* samples, size_t count) {
  RunBestCode<ApplyDistortionCode>(curve, samples, count);
}

LDistortionStream::LDistortionStream(LRef<LSoundStream> input, const LDistortionCurve& curve)
    : LSoundFilter(std::move(input)), curve_(curve) {}

void LDistortionStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  ApplyDistortion(curve_, frames, static_cast<size_t>(std::max(frameCount, 0)) * Channels());
}

LRef<LSoundStream> LDistortionProcessor::MakeStream(LRef<LSoundStream> input) const {
  return LRef<LSoundStream>(MakeRef<LDistortionStream>(std::move(input), MakeDistortionCurve(degree_, level_)));
}

LEffectTask MakeDistortionTask(double degree, int level) {
  return {kDistortionName, std::make_shared<LDistortionProcessor>(degree, level)};
}

LDistortionDialog::LDistortionDialog(std::string degreeText, int32_t level, const LSegmentList& selection)
    : LPreviewDialog(selection), degree(std::move(degreeText)), level_(std::clamp(level, kLevelMin, kLevelMax)) {}

void LDistortionDialog::SetLevel(int32_t value) { level_ = std::clamp(value, kLevelMin, kLevelMax); }

std::string LDistortionDialog::Validate() {
  const double value = DecimalOfText(degree);
  if (!(value >= 0.0 && value <= 1.0)) return kDegreeMessage;
  return {};
}

void LDistortionDialog::ChoosePreset(int index) {
  static constexpr std::array<const char*, 5> kDegrees{"", "1.0", "0.6", "0.3", "0.1"};
  if (index < 1 || index >= static_cast<int>(kDegrees.size())) return;
  degree = kDegrees[static_cast<size_t>(index)];
  level_ = -8;
}

LRef<LSoundStream> LDistortionDialog::PreviewStream() const {
  return LDistortionProcessor(DecimalOfText(degree), level_).MakeStream(SelectionStream());
}

void DistortionCommand(LCommandContext& context) {
  double degree = 0.0;
  int32_t level = 0;
  LEffectCommand command{.undoName = "Verzerrung", .title = kDistortionName};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LDistortionDialog dialog(ctx.settings.Read(kDistortionDegree), ctx.settings.Read(kDistortionLevel), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    degree = DecimalOfText(dialog.degree);
    level = dialog.Level();
    ctx.settings.Write(kDistortionDegree, dialog.degree);
    ctx.settings.Write(kDistortionLevel, level);
    return true;
  };
  RunStreamEffectCommand(context, command, [&] { return MakeDistortionTask(degree, level); });
}

}  // namespace klangor
