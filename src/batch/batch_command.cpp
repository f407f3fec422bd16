#include "batch/batch_command.h"

#include <cstdio>

#include "effects/compressor.h"
#include "settings/settings_keys.h"

namespace klangor {
namespace {

using F = LBatchField;

int FieldBytes(LBatchField field) {
  switch (field) {
    case F::kU32: return 4;
    case F::kS16: return 2;
    case F::kU8:
    case F::kS8: return 1;
  }
  return 0;
}

uint32_t Get(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(p[i]) << (8 * i);
  return value;
}

int32_t Decode(LBatchField field, const uint8_t* p) {
  switch (field) {
    case F::kU32: return static_cast<int32_t>(Get(p, 4));
    case F::kS16: return static_cast<int16_t>(Get(p, 2));
    case F::kU8: return p[0];
    case F::kS8: return static_cast<int8_t>(p[0]);
  }
  return 0;
}

// The stored values a command falls back to, in field order. `forDescription` picks the
// defaults that the description line shows where they differ from the running effect's.
std::vector<int32_t> FallbackValues(uint32_t number, const LSettingsStore& settings, bool forDescription) {
  switch (number) {
    case 0: return {settings.Read(kAutoTrimThreshold)};
    case 1:
    case 2: return {settings.Read(kSilenceTimes)};
    case 3: return {settings.Read(kAmplifyGain)};
    case 4: return {settings.Read(kNormalizePeakLevel)};
    case 5: return {settings.Read(kLowCutFreq)};
    case 7: return {settings.Read(kEchoTime), settings.Read(kEchoGain)};
    case 8: {
      LIntSetting level = kReverbLevel;
      if (forDescription) level.defaultValue = 50;
      return {settings.Read(kReverbTime), settings.Read(level)};
    }
    case 11: return {settings.Read(kSSNoiseThreshold)};
    case 12: return {settings.Read(kNoiseGateLevel)};
    case 13: return {settings.Read(kSpSpeedPitch)};
    case 14: return {settings.Read(kConstPitchSpeed)};
    case 15: return {settings.Read(kConstSpeedPitch)};
    case 16: return {settings.Read(kCompressorThreshold), settings.Read(kCompressorRatio),
                     settings.Read(kCompressorLimit)};
    case 17: return {settings.Read(kConvertSampleRate)};
    case 18: return {settings.Read(kConvertChannel)};
    case 19: return {settings.Read(kStereoPan)};
    default: return {};
  }
}

std::vector<int32_t> Values(const LBatchCommand& command, const LSettingsStore& settings, bool forDescription) {
  const LBatchCommandInfo* info = FindBatchCommand(command.number);
  if (info == nullptr) return {};
  if (!HasOwnValues(command) || info->fields.empty()) {
    return FallbackValues(command.number, settings, forDescription);
  }
  std::vector<int32_t> values;
  const uint8_t* p = command.data.data();
  for (LBatchField field : info->fields) {
    values.push_back(Decode(field, p));
    p += FieldBytes(field);
  }
  return values;
}

std::string Format(const char* format, int32_t a, int32_t b = 0) {
  char text[512];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

const std::vector<LBatchCommandInfo>& BatchCommands() {
  static const std::vector<LBatchCommandInfo> table = {
      {0, "Automatisch trimmen", {}, 0, ""},
      {1, "Stille am Anfang einfügen", {F::kU32}, 4, "Stille (Dauer) (ms) = %d"},
      {2, "Stille am Ende einfügen", {F::kU32}, 4, "Stille (Dauer) (ms) = %d"},
      {3, "Anpassen", {F::kS16}, 2, "Normalisierungsausgang (%%) = %d"},
      {4, "Normalisieren", {F::kS16}, 2, "Peak Level normalisieren (%%) = %d"},
      {5, "High-Pass Filter", {F::kU32}, 4, "Frequenz(Hz) = %d"},
      {6, "Equalizer", {}, kParameterBlockBytes, "Klicken sie auf Einstellungen um die Veränderungen zu sehen."},
      {7, "Echo", {F::kU32, F::kS16}, 6, "Echo (Dauer) (ms) = %d, Echo (Ausgang) (%%) = %d"},
      {8, "Hall", {F::kU32, F::kS16}, 6, "Hall (Dauer) (ms) = %d, Hall (Level) (%%) = %d"},
      {9, "Dynamik", {}, kParameterBlockBytes, "Klicken sie auf Einstellungen um die Veränderungen zu sehen."},
      {10, "Automatische Lautstärken Kontrolle", {}, 0, ""},
      {11, "Noise Reduction (Auto Spectral Subtraction)", {F::kS8}, 1, "Grenzwert %d"},
      {12, "Noise Reduction (Multi-band Noise Gating)", {F::kS8}, 1, "Noise Gate Level (dB) = %d"},
      {13, "Geschwindigkeit und Tonhöhe ändern", {F::kS16}, 2, "Geschwindigkeit/Tonhöhe justieren (%%) = %d"},
      {14, "Nur Geschwindigkeit ändern", {F::kS16}, 2, "Geschwindigkeit justieren Adjust (%%) = %d"},
      {15, "Nur Tonhöhe ändern", {F::kS16}, 2, "Tonhöhe justieren (%%) = %d"},
      {16, "Dynamic Range Compressor", {F::kS8, F::kU8, F::kS8}, 3,
       "Grenzwert (db) = %d, Verhältnis = %s, Limit (db) = %d"},
      {17, "Samplerate konvertieren", {F::kU32}, 4, "Samplerate konvertieren = %d"},
      {18, "Kanäle konvertieren (Mono <-> Stereo)", {F::kU8}, 1, "Kanäle konvertieren = %d"},
      {19, "Stereo Regler", {F::kU32}, 4, "Stereo Pan = %d%%"},
      {20, "Stimmen reduzieren", {}, 0, ""},
  };
  return table;
}

const LBatchCommandInfo* FindBatchCommand(uint32_t number) {
  const auto& table = BatchCommands();
  return number < table.size() ? &table[number] : nullptr;
}

bool HasOwnValues(const LBatchCommand& command) {
  const LBatchCommandInfo* info = FindBatchCommand(command.number);
  if (info == nullptr || info->dataBytes == 0) return false;
  // Parameter blocks may be longer than the part that is used.
  if (info->fields.empty()) return command.data.size() >= info->dataBytes;
  return command.data.size() == info->dataBytes;
}

std::optional<LBatchCommand> MakeBatchCommand(uint32_t number, const std::vector<int32_t>& values) {
  const LBatchCommandInfo* info = FindBatchCommand(number);
  if (info == nullptr || (info->fields.empty() && info->dataBytes > 0) || values.size() != info->fields.size()) {
    return std::nullopt;
  }
  LBatchCommand command;
  command.number = number;
  for (size_t i = 0; i < values.size(); ++i) {
    auto value = static_cast<uint32_t>(values[i]);
    for (int b = 0; b < FieldBytes(info->fields[i]); ++b) command.data.push_back(static_cast<uint8_t>(value >> (8 * b)));
  }
  return command;
}

std::vector<int32_t> BatchCommandValues(const LBatchCommand& command, const LSettingsStore& settings) {
  return Values(command, settings, /*forDescription=*/false);
}

std::string BatchCommandDescription(const LBatchCommand& command, const LSettingsStore& settings) {
  const LBatchCommandInfo* info = FindBatchCommand(command.number);
  if (info == nullptr || info->description[0] == '\0') return {};
  if (info->fields.empty()) return info->description;  // the parameter blocks
  std::vector<int32_t> values = Values(command, settings, /*forDescription=*/true);
  if (command.number == 16) {
    if (!IsCompressorRatio(values[1])) return {};
    char text[512];
    std::snprintf(text, sizeof text, info->description, values[0],
                  kCompressorRatios[static_cast<size_t>(values[1])].label, values[2]);
    return text;
  }
  return Format(info->description, values[0], values.size() > 1 ? values[1] : 0);
}

}  // namespace klangor
