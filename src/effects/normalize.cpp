#include "effects/normalize.h"

#include <algorithm>
#include <optional>

#include "audio/pump.h"
#include "dsp/peak_sink.h"
#include "effects/amplify.h"
#include "effects/effect_command.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

// The peak of frames [start, end) of `source`; nothing when cancelled.
std::optional<int32_t> PeakOfRange(LSoundStream& source, int32_t start, int32_t end, LProgress& progress) {
  auto sink = MakeRef<LPeakSink>(source.SampleRate(), source.Channels());
  if (PumpRange(source, *sink, start, end, progress) != LResult::kDone) return std::nullopt;
  return sink->Peak();
}

}  // namespace

int32_t NormalizePercent(int32_t levelPercent, int32_t peak) {
  const int64_t percent = int64_t{levelPercent} * kNormalizeReference / std::max(peak, 1);
  return static_cast<int32_t>(std::clamp<int64_t>(percent, INT32_MIN, kMaxNormalizePercent));
}

LResult RunNormalize(LSoundDocument& document, int32_t levelPercent, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (start >= end) return LResult::kDone;
  progress.SetTitle(kNormalizeTitle);
  LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
  const std::optional<int32_t> peak = PeakOfRange(*reader, start, end, progress);
  if (!peak) return LResult::kCancelled;
  if (*peak == 0) return LResult::kDone;  // silence stays as it is
  AmplifySelection(document, NormalizePercent(levelPercent, *peak));
  return LResult::kDone;
}

std::string LNormalizeDialog::Validate() {
  return kNormalizePeakLevel.range.Contains(levelPercent) ? std::string() : kLevelMessage;
}

void LNormalizeDialog::ChoosePreset(int index) {
  static constexpr std::array<int32_t, 5> kLevels{0, 20, 40, 75, 100};
  if (index >= 1 && index < static_cast<int>(kLevels.size())) levelPercent = kLevels[static_cast<size_t>(index)];
}

LRef<LSoundStream> LNormalizeDialog::PreviewStream() const {
  LSilentProgress progress;
  LRef<LSoundStream> reader = SelectionStream();
  const int32_t peak = PeakOfRange(*reader, 0, Selection().Length(), progress).value_or(0);
  LSegmentList scaled = Selection();
  if (peak > 0) scaled.ScaleGain(NormalizePercent(levelPercent, peak));
  return OpenSegmentStream(scaled);
}

void NormalizeCommand(LCommandContext& context) {
  int32_t level = 100;
  LEffectCommand command{.undoName = kNormalizeName, .title = kNormalizeTitle};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LNormalizeDialog dialog(ctx.settings.Read(kNormalizePeakLevel), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    level = dialog.levelPercent;
    ctx.settings.Write(kNormalizePeakLevel, level);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunNormalize(document, level, progress);
  };
  RunEffectCommand(context, command);
}

}  // namespace klangor
