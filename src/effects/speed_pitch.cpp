#include "effects/speed_pitch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "dsp/processing_pump.h"
#include "dsp/rate_converter.h"
#include "effects/effect_command.h"
#include "effects/grain_stretch.h"
#include "settings/settings_keys.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

// Converted to Ri / f and labelled Ri: f times as fast and as high.
LRef<LSoundStream> SpeedAndPitch(LRef<LSoundStream> input, double factor) {
  const int32_t rate = input->SampleRate();
  const double target = std::trunc(rate / factor);
  const auto converted = static_cast<int32_t>(std::clamp(target, 1.0, static_cast<double>(std::numeric_limits<int32_t>::max())));
  if (converted == rate) return input;
  return MakeRef<LRateLabelStream>(MakeRateConverter(std::move(input), converted), rate);
}

}  // namespace

double SpeedFactor(int32_t percent) { return std::max(percent, kMinSpeedPercent) * 0.01; }

LRef<LSoundStream> MakeSpeedPitchStream(LRef<LSoundStream> input, LSpeedPitchMode mode, int32_t percent) {
  if (!input || !input->Usable()) return input;
  const double factor = SpeedFactor(percent);
  if (factor == 1.0) return input;
  switch (mode) {
    case LSpeedPitchMode::kSpeedAndPitch: return SpeedAndPitch(std::move(input), factor);
    case LSpeedPitchMode::kSpeedOnly: return MakeTimeStretch(std::move(input), factor);
    case LSpeedPitchMode::kPitchOnly: return MakeTimeStretch(SpeedAndPitch(std::move(input), factor), 1.0 / factor);
  }
  return input;
}

LResult RunSpeedPitch(LSoundDocument& document, LSpeedPitchMode mode, int32_t percent, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end < start) return LResult::kDone;
  LSegmentList selection;
  document.sound.ExtractRange(start, end, selection);
  LRef<LSoundStream> stream = MakeSpeedPitchStream(OpenSegmentStream(selection), mode, percent);
  return ReplaceSelectionWith(document, [&](LSoundSink& sink) {
    return ProcessingPump(kSpeedPitchTitle, std::move(stream), sink, progress);
  });
}

LRef<LSoundStream> SpeedPitchResult(LRef<LSoundStream> source, LSpeedPitchMode mode, int32_t percent) {
  const int32_t rate = source->SampleRate();
  const int channels = source->Channels();
  return MakePumpedStream(MakeSpeedPitchStream(std::move(source), mode, percent), rate, channels);
}

const char* SpeedPitchName(LSpeedPitchMode mode) {
  switch (mode) {
    case LSpeedPitchMode::kSpeedAndPitch: return "Geschwindigkeit und Tonhöhe ändern";
    case LSpeedPitchMode::kSpeedOnly: return "Nur Geschwindigkeit ändern";
    case LSpeedPitchMode::kPitchOnly: return "Nur Tonhöhe ändern";
  }
  return "";
}

const char* SpeedPitchLabel(LSpeedPitchMode mode) {
  switch (mode) {
    case LSpeedPitchMode::kSpeedAndPitch: return "Geschwindigkeit/Tonhöhe justieren (%)";
    case LSpeedPitchMode::kSpeedOnly: return "Geschwindigkeit justieren (%)";
    case LSpeedPitchMode::kPitchOnly: return "Tonhöhe justieren (%)";
  }
  return "";
}

const LIntSetting& SpeedPitchSetting(LSpeedPitchMode mode) {
  switch (mode) {
    case LSpeedPitchMode::kSpeedAndPitch: return kSpSpeedPitch;
    case LSpeedPitchMode::kSpeedOnly: return kConstPitchSpeed;
    case LSpeedPitchMode::kPitchOnly: return kConstSpeedPitch;
  }
  return kSpSpeedPitch;
}

static_assert(LSpeedPitchDialog::kMaxPercent == kSpSpeedPitch.range.max);

std::string LSpeedPitchDialog::Validate() {
  return SpeedPitchSetting(mode_).range.Contains(percent) ? "" : kTooFastMessage;
}

LRef<LSoundStream> LSpeedPitchDialog::PreviewStream() const {
  return MakeSpeedPitchStream(SelectionStream(), mode_, percent);
}

void SpeedPitchCommand(LCommandContext& context, LSpeedPitchMode mode) {
  int32_t percent = 100;
  LEffectCommand command;
  command.undoName = SpeedPitchName(mode);
  command.title = kSpeedPitchTitle;
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LSpeedPitchDialog dialog(mode, ctx.settings.Read(SpeedPitchSetting(mode)), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    percent = dialog.percent;
    ctx.settings.Write(SpeedPitchSetting(mode), percent);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunSpeedPitch(document, mode, percent, progress);
  };
  RunEffectCommand(context, command);
}

}  // namespace klangor
