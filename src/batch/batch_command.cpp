#include "batch/batch_command.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "audio/sample_format.h"
#include "audio/time_units.h"
#include "edit/auto_trim.h"
#include "effects/amplify.h"
#include "effects/auto_volume.h"
#include "effects/compressor.h"
#include "effects/echo.h"
#include "effects/effect_command.h"
#include "effects/envelope.h"
#include "effects/equalizer.h"
#include "effects/high_pass.h"
#include "effects/noise_gate.h"
#include "effects/normalize.h"
#include "effects/rate_commands.h"
#include "effects/reduce_vocals.h"
#include "effects/reverb.h"
#include "effects/spectral_subtraction.h"
#include "effects/speed_pitch.h"
#include "effects/stereo_pan.h"
#include "effects/stream_effect.h"
#include "frame/command_steps.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "store/block_store.h"

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
// values that the description line shows where they differ from the running effect's.
std::vector<int32_t> FallbackValues(const LBatchCommandInfo& info, const LSettingsStore& settings,
                                    bool forDescription) {
  const std::vector<LIntSetting>& stored =
      forDescription && !info.shownValues.empty() ? info.shownValues : info.storedValues;
  std::vector<int32_t> values;
  for (const LIntSetting& setting : stored) values.push_back(settings.Read(setting));
  return values;
}

std::vector<int32_t> Values(const LBatchCommand& command, const LSettingsStore& settings, bool forDescription) {
  const LBatchCommandInfo* info = FindBatchCommand(command.number);
  if (info == nullptr) return {};
  if (!HasOwnValues(command) || info->fields.empty()) {
    return FallbackValues(*info, settings, forDescription);
  }
  // A record's own values are brought into the ranges of the stored values they stand for,
  // as those are when read.
  std::vector<int32_t> values;
  const uint8_t* p = command.data.data();
  for (size_t i = 0; i < info->fields.size(); ++i) {
    const int32_t value = Decode(info->fields[i], p);
    values.push_back(i < info->storedValues.size() ? info->storedValues[i].range.Clamp(value) : value);
    p += FieldBytes(info->fields[i]);
  }
  return values;
}

std::string Format(const char* format, int32_t a, int32_t b = 0) {
  char text[512];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// Values arrive within the ranges of their stored values (so a negative time is the lowest
// one, not four billion milliseconds).
LResult InsertSilence(const LBatchRunContext& c, bool atEnd) {
  LSoundDocument& document = c.document;
  const int64_t frames = MsToFrames(c.values[0], document.sound.SampleRate());
  document.sound.InsertSilence(atEnd ? document.Length() : 0, SaturateToInt32(frames));
  document.LengthChanged();
  return LResult::kDone;
}

// The command's envelope or equalizer curve: its own parameter block, else the data file.
LEnvelope BatchCurve(const LBatchCommand& command, const std::string& dataFile) {
  if (!HasOwnValues(command)) return LoadEnvelopeFile(dataFile);
  return EnvelopeFromBytes(std::string(command.data.begin(), command.data.begin() + kParameterBlockBytes));
}

// Stereo pan makes two channels out of two: other sounds are left as they are.
LResult StereoPan(const LBatchRunContext& c) {
  if (c.document.sound.Channels() != 2) {
    c.report(kStereoOnlyMessage);
    return LResult::kDone;
  }
  return RunStreamEffect(c.document, MakeStereoPanTask(c.values[0]), c.progress);
}

LResult Compressor(const LBatchRunContext& c) {
  if (!IsCompressorRatio(c.values[1])) return LResult::kDone;  // an unknown ratio skips the command
  return RunCompressor(c.document, c.values[0], CompressorRatioFactor(c.values[1]), c.values[2], c.progress);
}

// Rate and channel conversion, refused with the low-space message when the converted block
// would not fit where the blocks live.
LResult Convert(const LBatchRunContext& c, int32_t sampleRate, int channels) {
  const int64_t freeBytes = FreeBytesAvailable(LBlockStore::Instance().WorkingFolder());
  const bool same = sampleRate == c.document.sound.SampleRate() && channels == c.document.sound.Channels();
  if (!same && !ConversionFits(c.document, sampleRate, channels, freeBytes)) {
    c.report(LowSpaceMessage(c.command.number == 17 ? kConvertRateUndoName : kConvertChannelsUndoName));
    return LResult::kFailed;
  }
  return ConvertDocumentFormat(c.document, sampleRate, channels, c.progress);
}

// The reverb level that the description line shows when the record has no values of its own.
constexpr LIntSetting kShownReverbLevel{kReverbLevel.section, kReverbLevel.name, 50, kReverbLevel.scope,
                                        kReverbLevel.range};

}  // namespace

const std::vector<LBatchCommandInfo>& BatchCommands() {
  using C = const LBatchRunContext&;
  using V = const std::vector<int32_t>&;
  using S = LRef<LSoundStream>;
  constexpr uint32_t kBlock = kParameterBlockBytes;
  static const char kBlockText[] = "Klicken sie auf Einstellungen um die Veränderungen zu sehen.";
  static const std::vector<LBatchCommandInfo> table = {
      {0, "Automatisch trimmen", {}, 0, "", {kAutoTrimThreshold}, {},
       [](C c) { return RunAutoTrim(c.document, c.values[0], c.progress); }},
      {1, "Stille am Anfang einfügen", {F::kU32}, 4, "Stille (Dauer) (ms) = %d", {kSilenceTimes}, {},
       [](C c) { return InsertSilence(c, /*atEnd=*/false); }},
      {2, "Stille am Ende einfügen", {F::kU32}, 4, "Stille (Dauer) (ms) = %d", {kSilenceTimes}, {},
       [](C c) { return InsertSilence(c, /*atEnd=*/true); }},
      {3, "Anpassen", {F::kS16}, 2, "Normalisierungsausgang (%%) = %d", {kAmplifyGain}, {},
       [](C c) {
         AmplifySelection(c.document, c.values[0]);
         return LResult::kDone;
       }},
      {4, "Normalisieren", {F::kS16}, 2, "Peak Level normalisieren (%%) = %d", {kNormalizePeakLevel}, {},
       [](C c) { return RunNormalize(c.document, c.values[0], c.progress); }},
      {5, "High-Pass Filter", {F::kU32}, 4, "Frequenz(Hz) = %d", {kLowCutFreq}, {},
       [](C c) {  // the stored frequency is unsigned; the design takes 10 Hz for what is not positive
         return RunStreamEffect(c.document, MakeHighPassTask(c.values[0]), c.progress);
       },
       [](V v, S s) { return StreamEffectResult(MakeHighPassTask(v[0]), std::move(s)); }},
      {6, "Equalizer", {}, kBlock, kBlockText, {}, {},
       [](C c) { return RunEqualizer(c.document, BatchCurve(c.command, EqualizerFilePath()), c.progress); }},
      {7, "Echo", {F::kU32, F::kS16}, 6, "Echo (Dauer) (ms) = %d, Echo (Ausgang) (%%) = %d", {kEchoTime, kEchoGain}, {},
       [](C c) { return RunStreamEffect(c.document, MakeEchoTask(c.values[0], c.values[1]), c.progress); },
       [](V v, S s) { return StreamEffectResult(MakeEchoTask(v[0], v[1]), std::move(s)); }},
      {8, "Hall", {F::kU32, F::kS16}, 6, "Hall (Dauer) (ms) = %d, Hall (Level) (%%) = %d", {kReverbTime, kReverbLevel},
       {kReverbTime, kShownReverbLevel},
       [](C c) { return RunStreamEffect(c.document, MakeReverbTask(c.values[1], c.values[0]), c.progress); },
       [](V v, S s) { return StreamEffectResult(MakeReverbTask(v[1], v[0]), std::move(s)); }},
      {9, "Dynamik", {}, kBlock, kBlockText, {}, {},
       [](C c) { return RunEnvelope(c.document, BatchCurve(c.command, EnvelopeFilePath()), c.progress); }},
      {10, "Automatische Lautstärken Kontrolle", {}, 0, "", {}, {},
       [](C c) { return RunAutoVolume(c.document, c.progress); }},
      {11, "Noise Reduction (Auto Spectral Subtraction)", {F::kS8}, 1, "Grenzwert %d", {kSSNoiseThreshold}, {},
       [](C c) { return RunAutoSpectralSubtraction(c.document, c.values[0], c.progress); }},
      {12, "Noise Reduction (Multi-band Noise Gating)", {F::kS8}, 1, "Noise Gate Level (dB) = %d", {kNoiseGateLevel}, {},
       [](C c) { return RunStreamEffect(c.document, MakeNoiseGateTask(c.values[0]), c.progress); },
       [](V v, S s) { return StreamEffectResult(MakeNoiseGateTask(v[0]), std::move(s)); }},
      {13, "Geschwindigkeit und Tonhöhe ändern", {F::kS16}, 2, "Geschwindigkeit/Tonhöhe justieren (%%) = %d",
       {kSpSpeedPitch}, {},
       [](C c) { return RunSpeedPitch(c.document, LSpeedPitchMode::kSpeedAndPitch, c.values[0], c.progress); },
       [](V v, S s) { return SpeedPitchResult(std::move(s), LSpeedPitchMode::kSpeedAndPitch, v[0]); }},
      {14, "Nur Geschwindigkeit ändern", {F::kS16}, 2, "Geschwindigkeit justieren Adjust (%%) = %d",
       {kConstPitchSpeed}, {},
       [](C c) { return RunSpeedPitch(c.document, LSpeedPitchMode::kSpeedOnly, c.values[0], c.progress); },
       [](V v, S s) { return SpeedPitchResult(std::move(s), LSpeedPitchMode::kSpeedOnly, v[0]); }},
      {15, "Nur Tonhöhe ändern", {F::kS16}, 2, "Tonhöhe justieren (%%) = %d", {kConstSpeedPitch}, {},
       [](C c) { return RunSpeedPitch(c.document, LSpeedPitchMode::kPitchOnly, c.values[0], c.progress); },
       [](V v, S s) { return SpeedPitchResult(std::move(s), LSpeedPitchMode::kPitchOnly, v[0]); }},
      {16, "Dynamic Range Compressor", {F::kS8, F::kU8, F::kS8}, 3,
       "Grenzwert (db) = %d, Verhältnis = %s, Limit (db) = %d",
       {kCompressorThreshold, kCompressorRatio, kCompressorLimit}, {}, Compressor},
      {17, "Samplerate konvertieren", {F::kU32}, 4, "Samplerate konvertieren = %d", {kConvertSampleRate}, {},
       [](C c) { return Convert(c, c.values[0], c.document.sound.Channels()); },
       [](V v, S s) {
         const int channels = s->Channels();
         return ConvertedResult(std::move(s), v[0], channels);
       }},
      {18, "Kanäle konvertieren (Mono <-> Stereo)", {F::kU8}, 1, "Kanäle konvertieren = %d", {kConvertChannel}, {},
       [](C c) { return Convert(c, c.document.sound.SampleRate(), c.values[0]); },
       [](V v, S s) {
         const int32_t rate = s->SampleRate();
         return ConvertedResult(std::move(s), rate, v[0]);
       }},
      {19, "Stereo Regler", {F::kU32}, 4, "Stereo Pan = %d%%", {kStereoPan}, {}, StereoPan},
      {20, "Stimmen reduzieren", {}, 0, "", {}, {}, [](C c) { return RunReduceVocals(c.document, c.progress); }},
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
    std::snprintf(text, sizeof text, info->description, values[0], CompressorRatioLabel(values[1]), values[2]);
    return text;
  }
  return Format(info->description, values[0], values.size() > 1 ? values[1] : 0);
}

LRef<LSoundStream> BatchCommandStream(const LBatchCommand& command, const LSettingsStore& settings,
                                      LRef<LSoundStream> source) {
  const LBatchCommandInfo* info = FindBatchCommand(command.number);
  if (info == nullptr || info->stream == nullptr || !source) return {};
  return info->stream(BatchCommandValues(command, settings), std::move(source));
}

LResult RunBatchCommand(const LBatchCommand& command, LSoundDocument& document, const LSettingsStore& settings,
                        LProgress& progress, const LBatchReport& report) {
  const LBatchCommandInfo* info = FindBatchCommand(command.number);
  if (info == nullptr) return LResult::kDone;  // unknown numbers are skipped
  const std::vector<int32_t> values = BatchCommandValues(command, settings);
  return info->run({command, values, document, progress, report});
}

}  // namespace klangor
