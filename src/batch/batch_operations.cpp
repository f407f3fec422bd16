#include "batch/batch_operations.h"

#include <algorithm>
#include <limits>

#include "audio/time_units.h"
#include "effects/auto_volume.h"
#include "effects/compressor.h"

namespace klangor {
namespace {

LResult InsertSilence(LSoundDocument& document, int32_t ms, bool atEnd) {
  // The stored milliseconds are unsigned.
  const int64_t frames = MsToFrames(static_cast<uint32_t>(ms), document.sound.SampleRate());
  document.sound.InsertSilence(atEnd ? document.Length() : 0,
                               static_cast<int32_t>(std::min<int64_t>(frames, std::numeric_limits<int32_t>::max())));
  document.LengthChanged();
  return LResult::kDone;
}

}  // namespace

bool BatchCommandAvailable(uint32_t number) {
  return number == 1 || number == 2 || number == 10 || number == 16;
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
    case 10: return RunAutoVolume(document, progress);
    case 16:
      if (!IsCompressorRatio(values[1])) return LResult::kDone;  // an unknown ratio skips the command
      return RunCompressor(document, values[0], kCompressorRatios[static_cast<size_t>(values[1])].factor,
                           values[2], progress);
    default: return LResult::kDone;
  }
}

}  // namespace klangor
