#include "effects/flanger.h"

#include <algorithm>
#include <cmath>

#include "dsp/effect_math.h"
#include "effects/effect_command.h"
#include "settings/settings_keys.h"

namespace klangor {

LFlangerStream::LFlangerStream(LRef<LSoundStream> input, const LModulation& modulation)
    : LSoundFilter(std::move(input)),
      line_(modulation, SampleRate(), Channels()),
      origin_(Input().Position()),
      step_(ModulationPhaseStep(1.0, modulation.rateHz, SampleRate())) {}

void LFlangerStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  const bool modulated = line_.ExcursionFrames() != 0;
  std::array<double, kSineBlock> delays;
  for (int32_t start = 0; start < frameCount; start += kSineBlock) {
    const int32_t n = std::min(frameCount - start, kSineBlock);
    for (int32_t i = 0; i < n; ++i) {
      delays[static_cast<size_t>(i)] = line_.Delay(modulated ? std::sin(phase_) : 0.0);
      phase_ += step_;
    }
    line_.Mix(frames + static_cast<size_t>(start) * Channels(), n, delays.data(), line_.Gain(), nullptr, 0.0);
  }
}

void LFlangerStream::Seek(int32_t frame) {
  line_.Clear();
  phase_ = ModulationPhaseAt(frame, origin_, step_);
  Input().Seek(frame);
}

LRef<LSoundStream> LFlangerProcessor::MakeStream(LRef<LSoundStream> input) const {
  return LRef<LSoundStream>(MakeRef<LFlangerStream>(std::move(input), modulation_));
}

LEffectTask MakeFlangerTask(const LModulation& modulation) {
  return {kFlangerName, std::make_shared<LFlangerProcessor>(modulation)};
}

std::string LFlangerDialog::Validate() {
  const double rate = DecimalOfText(modulation);
  if (!kFlangerTime.range.Contains(timeMs)) return kDelayTimeMessage;
  if (!(rate >= 0.0 && rate <= 5.0)) return kModulationMessage;
  if (!kFlangerDepth.range.Contains(depthPercent)) return kDepthMessage;
  if (!kFlangerGain.range.Contains(gainPercent)) return kDelayGainMessage;
  return {};
}

void LFlangerDialog::ChoosePreset(int index) {
  static constexpr std::array<int32_t, 4> kGains{0, 100, 90, 50};  // "Stark", "Mittel", "Leicht"
  if (index < 1 || index >= static_cast<int>(kGains.size())) return;
  timeMs = 5;
  modulation = "0.5";
  depthPercent = 70;
  gainPercent = kGains[static_cast<size_t>(index)];
}

LModulation LFlangerDialog::Values() const {
  return {timeMs, DecimalOfText(modulation), depthPercent, gainPercent};
}

LRef<LSoundStream> LFlangerDialog::PreviewStream() const {
  return LFlangerProcessor(Values()).MakeStream(SelectionStream());
}

void FlangerCommand(LCommandContext& context) {
  LModulation values;
  LEffectCommand command{.undoName = "Flanger", .title = kFlangerName};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LFlangerDialog dialog(ctx.settings.Read(kFlangerTime), ctx.settings.Read(kFlangerMod),
                          ctx.settings.Read(kFlangerDepth), ctx.settings.Read(kFlangerGain), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    values = dialog.Values();
    ctx.settings.Write(kFlangerTime, dialog.timeMs);
    ctx.settings.Write(kFlangerMod, dialog.modulation);
    ctx.settings.Write(kFlangerDepth, dialog.depthPercent);
    ctx.settings.Write(kFlangerGain, dialog.gainPercent);
    return true;
  };
  RunStreamEffectCommand(context, command, [&] { return MakeFlangerTask(values); });
}

}  // namespace klangor
