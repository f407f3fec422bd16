#include "batch/batch_operations.h"

#include <algorithm>
#include <limits>

#include "audio/sample_format.h"
#include "audio/time_units.h"
#include "effects/amplify_normalize.h"
#include "effects/auto_volume.h"
#include "effects/compressor.h"
#include "effects/echo.h"
#include "effects/effect_command.h"
#include "effects/envelope.h"
#include "effects/rate_commands.h"
#include "effects/reduce_vocals.h"
#include "effects/reverb.h"
#include "effects/speed_pitch.h"
#include "effects/stereo_pan.h"
#include "effects/stream_effect.h"

namespace klangor {
namespace {

LResult InsertSilence(LSoundDocument& document, int32_t ms, bool atEnd) {
  // The stored milliseconds are unsigned.
  const int64_t frames = MsToFrames(static_cast<uint32_t>(ms), document.sound.SampleRate());
  document.sound.InsertSilence(atEnd ? document.Length() : 0,
                               SaturateToInt32(frames));
  document.LengthChanged();
  return LResult::kDone;
}

// A stored unsigned 32-bit value as a non-negative frame or millisecond count.
int32_t Unsigned(int32_t value) {
  return static_cast<int32_t>(std::min<uint32_t>(static_cast<uint32_t>(value), std::numeric_limits<int32_t>::max()));
}

// The command's envelope: its own parameter block, else "envelope.dat".
LEnvelope BatchEnvelope(const LBatchCommand& command) {
  if (!HasOwnValues(command)) return LoadEnvelopeFile(EnvelopeFilePath());
  return EnvelopeFromBytes(std::string(command.data.begin(), command.data.begin() + kParameterBlockBytes));
}

// Stereo pan makes two channels out of two: other sounds are left as they are.
LResult StereoPan(LSoundDocument& document, int32_t value, LProgress& progress, const LBatchReport& report) {
  if (document.sound.Channels() != 2) {
    report(kStereoOnlyMessage);
    return LResult::kDone;
  }
  return RunStreamEffect(document, MakeStereoPanTask(Unsigned(value)), progress);
}

}  // namespace

bool BatchCommandAvailable(uint32_t number) {
  switch (number) {
    case 1: case 2: case 3: case 4: case 7: case 8: case 9: case 10: case 13: case 14: case 15: case 16:
    case 17: case 18: case 19: case 20: return true;
    default: return false;
  }
}

LResult RunBatchOperation(const LBatchCommand& command, LSoundDocument& document,
                          const LSettingsStore& settings, LProgress& progress, const LBatchReport& report) {
  const LBatchCommandInfo* info = FindBatchCommand(command.number);
  if (info == nullptr) return LResult::kDone;  // unknown numbers are skipped
  if (!BatchCommandAvailable(command.number)) {
    report(std::string("Das Kommando \"") + info->name +
           "\" ist in dieser Version noch nicht verfügbar und wurde übersprungen.");
    return LResult::kDone;
  }
  const std::vector<int32_t> values = BatchCommandValues(command, settings);
  switch (command.number) {
    case 1: return InsertSilence(document, values[0], /*atEnd=*/false);
    case 2: return InsertSilence(document, values[0], /*atEnd=*/true);
    case 3:
      AmplifySelection(document, values[0]);
      return LResult::kDone;
    case 4: return RunNormalize(document, values[0], progress);
    case 7: return RunStreamEffect(document, MakeEchoTask(Unsigned(values[0]), values[1]), progress);
    case 8: return RunStreamEffect(document, MakeReverbTask(values[1], Unsigned(values[0])), progress);
    case 9: return RunEnvelope(document, BatchEnvelope(command), progress);
    case 10: return RunAutoVolume(document, progress);
    case 13: return RunSpeedPitch(document, LSpeedPitchMode::kSpeedAndPitch, values[0], progress);
    case 14: return RunSpeedPitch(document, LSpeedPitchMode::kSpeedOnly, values[0], progress);
    case 15: return RunSpeedPitch(document, LSpeedPitchMode::kPitchOnly, values[0], progress);
    case 16:
      if (!IsCompressorRatio(values[1])) return LResult::kDone;  // an unknown ratio skips the command
      return RunCompressor(document, values[0], kCompressorRatios[static_cast<size_t>(values[1])].factor,
                           values[2], progress);
    case 17:  // the stored rate is unsigned; rates outside the dialog's range are brought into it
      return ConvertDocumentFormat(document, ClampConvertRate(static_cast<uint32_t>(values[0])),
                                   document.sound.Channels(), progress);
    case 18:
      return ConvertDocumentFormat(document, document.sound.SampleRate(), ClampConvertChannels(values[0]), progress);
    case 19: return StereoPan(document, values[0], progress, report);
    case 20: return RunReduceVocals(document, progress);
    default: return LResult::kDone;
  }
}

}  // namespace klangor
