#include "effects/amplify.h"

#include "effects/effect_command.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {

void AmplifySelection(LSoundDocument& document, int32_t percent) {
  document.sound.ScaleRangeGain(document.selectionStart, document.selectionEnd, percent);
}

std::string LAmplifyDialog::Validate() {
  return kAmplifyGain.range.Contains(gainPercent) ? std::string() : kGainMessage;
}

void LAmplifyDialog::ChoosePreset(int index) {
  static constexpr std::array<int32_t, 5> kGains{0, 25, 50, 200, 300};
  if (index >= 1 && index < static_cast<int>(kGains.size())) gainPercent = kGains[static_cast<size_t>(index)];
}

LRef<LSoundStream> LAmplifyDialog::PreviewStream() const {
  LSegmentList scaled = Selection();
  scaled.ScaleGain(gainPercent);
  return OpenSegmentStream(scaled);
}

void AmplifyCommand(LCommandContext& context) {
  int32_t gain = 100;
  LEffectCommand command{.undoName = kAmplifyName,
                         .progressWindow = false,
                         .after = LAfterEffect::kOneSecondPreroll};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LAmplifyDialog dialog(ctx.settings.Read(kAmplifyGain), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    gain = dialog.gainPercent;
    ctx.settings.Write(kAmplifyGain, gain);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress&) {
    AmplifySelection(document, gain);
    document.LengthChanged();
    return LResult::kDone;
  };
  RunEffectCommand(context, command);
}

}  // namespace klangor
