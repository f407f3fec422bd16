#include "effects/phaser.h"

#include "effects/effect_command.h"
#include "effects/flanger.h"
#include "settings/settings_keys.h"

namespace klangor {

LRef<LSoundStream> LPhaserProcessor::MakeStream(LRef<LSoundStream> input) const {
  return LRef<LSoundStream>(MakeRef<LFlangerStream>(std::move(input), LModulation{timeMs_, 0.0, 0, gainPercent_}));
}

LEffectTask MakePhaserTask(int32_t timeMs, int32_t gainPercent) {
  return {kPhaserName, std::make_shared<LPhaserProcessor>(timeMs, gainPercent)};
}

std::string LPhaserDialog::Validate() {
  if (!kPhaserTime.range.Contains(timeMs)) return kTimeMessage;
  if (!kPhaserGain.range.Contains(gainPercent)) return kGainMessage;
  return {};
}

void LPhaserDialog::ChoosePreset(int index) {
  switch (index) {
    case 1: timeMs = 3, gainPercent = 100; break;  // "Stark"
    case 2: timeMs = 5, gainPercent = 50; break;   // "Mittel"
    case 3: timeMs = 7, gainPercent = 50; break;   // "Leicht"
    default: break;
  }
}

LRef<LSoundStream> LPhaserDialog::PreviewStream() const {
  return LPhaserProcessor(timeMs, gainPercent).MakeStream(SelectionStream());
}

void PhaserCommand(LCommandContext& context) {
  int32_t time = 0;
  int32_t gain = 0;
  LEffectCommand command{.undoName = "Phaser", .title = kPhaserName};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LPhaserDialog dialog(ctx.settings.Read(kPhaserTime), ctx.settings.Read(kPhaserGain), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    time = dialog.timeMs;
    gain = dialog.gainPercent;
    ctx.settings.Write(kPhaserTime, time);
    ctx.settings.Write(kPhaserGain, gain);
    return true;
  };
  RunStreamEffectCommand(context, command, [&] { return MakePhaserTask(time, gain); });
}

}  // namespace klangor
