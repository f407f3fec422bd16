#include "effects/equalizer_curve.h"

#include <algorithm>
#include <cmath>

#include "dsp/effect_math.h"
#include "platform/paths.h"

namespace klangor {
namespace {

constexpr uint8_t kFullLevel = 127;  // 100 %

}  // namespace

int32_t EqualizerHz(int position) {
  return TruncToInt32((std::exp(position / 255.0 * 2.77258872) - 1.0) / 15.0 * 20000.0);
}

int EqualizerPosition(double hz) {
  const double argument = 1.0 + 15.0 * hz / 20000.0;
  if (!(argument > 1.0)) return 0;
  return static_cast<int>(std::min(std::trunc(std::log(argument) * 91.97180893096903), 255.0));
}

uint8_t LevelOfPercent(int32_t percent) {
  return static_cast<uint8_t>(std::clamp(TruncToInt32(percent * 0.005 * 255.0), 0, 255));
}

std::string EqualizerFilePath() { return JoinPath(DataFolder(), kEqualizerFileName); }

LFirMask EqualizerMask(const LEqualizerCurve& curve, int32_t sampleRate) {
  const int64_t rate = sampleRate > 0 ? sampleRate : 44100;
  const auto band = [rate](int position) { return int64_t{EqualizerHz(position)} * 2 * kFirBands / rate; };
  LFirMask mask{};
  if (curve.empty()) {
    mask.fill(128);
    return mask;
  }
  int64_t written = 0;  // bands below this one are set
  const int64_t first = std::min<int64_t>(band(curve.front().position), kFirBands);
  for (; written < first; ++written) mask[static_cast<size_t>(written)] = curve.front().level;
  for (size_t k = 1; k < curve.size(); ++k) {
    const int64_t s = band(curve[k - 1].position);
    const int64_t e = std::min<int64_t>(band(curve[k].position), kFirBands);
    const int level0 = curve[k - 1].level;
    const int level1 = curve[k].level;
    for (int64_t j = s; j < e; ++j) {
      mask[static_cast<size_t>(j)] = static_cast<uint8_t>(level0 + (j - s) * (level1 - level0) / (e - s));
    }
    written = std::max(written, e);
  }
  for (int64_t j = written; j < kFirBands; ++j) mask[static_cast<size_t>(j)] = curve.back().level;
  return mask;
}

bool ShapeHasEndFrequency(LEqualizerShape shape) {
  return shape != LEqualizerShape::kHighPass && shape != LEqualizerShape::kLowPass && shape != LEqualizerShape::kNone;
}

const LEqualizerShapeSettings* ShapeSettings(LEqualizerShape shape) {
  const int index = static_cast<int>(shape) - 1;
  if (index < 0 || index >= kEqualizerShapeCount) return nullptr;
  return &kEqualizerShapes[static_cast<size_t>(index)];
}

LShapeParameters ReadShapeParameters(const LSettingsStore& settings, LEqualizerShape shape) {
  const LEqualizerShapeSettings* stored = ShapeSettings(shape);
  if (stored == nullptr) return {};
  return {settings.Read(stored->frequency), ShapeHasEndFrequency(shape) ? settings.Read(stored->endFrequency) : 0,
          settings.Read(stored->amp), settings.Read(stored->slope)};
}

void WriteShapeParameters(LSettingsStore& settings, LEqualizerShape shape, const LShapeParameters& parameters) {
  const LEqualizerShapeSettings* stored = ShapeSettings(shape);
  if (stored == nullptr) return;
  settings.Write(stored->frequency, parameters.start);
  if (ShapeHasEndFrequency(shape)) settings.Write(stored->endFrequency, parameters.end);
  settings.Write(stored->amp, parameters.amp);
  settings.Write(stored->slope, parameters.slope);
}

LEqualizerCurve ShapeCurve(LEqualizerShape shape, LShapeParameters p) {
  using S = LEqualizerShape;
  constexpr int32_t kTop = 20000;
  const auto pos = [](int32_t hz) { return static_cast<uint8_t>(EqualizerPosition(hz)); };
  // Stored values may be anything: frequencies and slopes are kept within the dialog's
  // spin ranges before the shape's own rules.
  p.start = std::clamp(p.start, 0, kTop);
  p.end = std::clamp(p.end, 0, kTop);
  p.slope = std::clamp(p.slope, 0, kTop);
  switch (shape) {
    case S::kNone: return FlatEnvelope();
    case S::kHighPass:
    case S::kLowPass: {
      const uint8_t amp = LevelOfPercent(std::clamp(p.amp, 0, 100));
      const int32_t slope = std::min(p.slope, p.start);
      if (shape == S::kHighPass) {
        return {{0, amp}, {pos(p.start - slope), amp}, {pos(p.start), kFullLevel}, {255, kFullLevel}};
      }
      return {{0, kFullLevel}, {pos(p.start), kFullLevel}, {pos(p.start + slope), amp}, {255, amp}};
    }
    case S::kBandPass:
    case S::kBandStop:
    case S::kNotch:
    case S::kBoostCut: {
      const bool narrowAmp = shape == S::kBandPass || shape == S::kBandStop;
      const uint8_t amp = LevelOfPercent(std::clamp(p.amp, 0, narrowAmp ? 100 : 199));
      p.end = std::max(p.end, p.start);
      if (shape == S::kNotch) {
        p.slope = 0;
        if (p.end < p.start + 50) p.end = p.start + 50;
      }
      p.slope = std::min(p.slope, p.start);
      p.end = std::min(p.end, kTop);
      if (p.end + p.slope > kTop) p.slope = kTop - p.end;
      const uint8_t outer = shape == S::kBandPass ? amp : kFullLevel;
      const uint8_t inner = shape == S::kBandPass ? kFullLevel : amp;
      return {{0, outer},
              {pos(p.start - p.slope), outer},
              {pos(p.start), inner},
              {pos(p.end), inner},
              {pos(p.end + p.slope), outer},
              {255, outer}};
    }
  }
  return FlatEnvelope();
}

}  // namespace klangor
