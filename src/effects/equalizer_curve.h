#pragma once
// The equalizer's curve, its filter shapes and its gain mask.
//
// A curve is the envelope record (effects/envelope.h): up to 64 points of (position, level),
// positions never decreasing, the first at 0 and the last at 255. Position p stands for
// hz(p) = trunc((exp(p / 255 x ln 16) - 1) / 15 x 20000) Hz; the reverse is
// pos(f) = trunc(ln(1 + 15 f / 20000) x 91.97180893096903), kept within 0..255. Level l is the
// gain l / 128; a percentage q is the level trunc(q x 0.005 x 255) (100 % is 127).
//
// The curve lives in "equalizer.dat" in the data folder, with the envelope file's layout and
// loading rules (a missing or empty file gives the flat curve (0, 128), (255, 128), which is
// written back).
//
// Mask at rate R (44100 when not positive): band(p) = trunc(2 hz(p) 2048 / R); between two
// consecutive points the bands band(p0) .. below min(band(p1), 2048) ramp linearly from the
// first level towards the second (level0 + trunc((j - s)(level1 - level0) / (e - s))); the
// bands after the last one written take the last point's level. Bands before the first
// point's band (a curve whose first point is not at 0) take the first point's level.

#include <array>
#include <cstdint>
#include <string>

#include "effects/envelope.h"
#include "effects/fir_filter.h"
#include "settings/settings_keys.h"

namespace klangor {

inline constexpr char kEqualizerFileName[] = "equalizer.dat";

using LEqualizerCurve = LEnvelope;

int32_t EqualizerHz(int position);
int EqualizerPosition(double hz);
uint8_t LevelOfPercent(int32_t percent);

// "equalizer.dat" in the data folder.
std::string EqualizerFilePath();

LFirMask EqualizerMask(const LEqualizerCurve& curve, int32_t sampleRate);

// The filter shapes in the order of the dialog's list (entry 0, "Voreinstellungen wählen",
// is no shape).
enum class LEqualizerShape { kNone, kBandPass, kBandStop, kHighPass, kLowPass, kNotch, kBoostCut };
inline constexpr std::array<const char*, 7> kEqualizerShapeNames{
    "Voreinstellungen wählen", "BandPass", "BandStop", "HighPass", "LowPass", "Notch", "Boost/Cut"};
// The list shows "Boost/Schneiden" for the shape whose key is "Boost/Cut".
inline constexpr std::array<const char*, 7> kEqualizerShapeEntries{
    "Voreinstellungen wählen", "BandPass", "BandStop", "HighPass", "LowPass", "Notch", "Boost/Schneiden"};

// A shape's parameters (the high- and low-pass shapes use only `start` as their frequency).
struct LShapeParameters {
  int32_t start = 0;
  int32_t end = 0;
  int32_t amp = 0;
  int32_t slope = 0;
};

bool ShapeHasEndFrequency(LEqualizerShape shape);
// The stored parameters of a shape (kNone: none), and where they go.
const LEqualizerShapeSettings* ShapeSettings(LEqualizerShape shape);
LShapeParameters ReadShapeParameters(const LSettingsStore& settings, LEqualizerShape shape);
void WriteShapeParameters(LSettingsStore& settings, LEqualizerShape shape, const LShapeParameters& parameters);

// The curve of a shape with its parameters brought into range without a message: Amp within
// 0..100 (BandPass, BandStop, HighPass, LowPass) or 0..199 (Notch, Boost/Cut); frequencies
// within 0..20000; an end below the start becomes the start; Notch has no slope and an end at
// least 50 Hz above the start; a slope is at most the start frequency and never carries the
// end beyond 20000. kNone gives the flat curve.
LEqualizerCurve ShapeCurve(LEqualizerShape shape, LShapeParameters parameters);

}  // namespace klangor
