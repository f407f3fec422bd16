#include "effects/telephone.h"

#include <algorithm>

#include "effects/distortion.h"
#include "effects/effect_command.h"

namespace klangor {

LFirMask TelephoneMask(int32_t sampleRate) {
  int32_t half = sampleRate / 2;
  if (half <= 0) half = 44100;
  const int32_t low = std::min(614400 / half, kFirBands - 1);
  const int32_t high = std::min(7372800 / half, kFirBands - 1);
  LFirMask mask{};
  for (int32_t band = low; band < high; ++band) mask[static_cast<size_t>(band)] = 100;
  return mask;
}

LRef<LSoundStream> LTelephoneProcessor::MakeStream(LRef<LSoundStream> input) const {
  const int32_t rate = input->SampleRate();
  LRef<LSoundStream> filtered = MakeFirStream(std::move(input), TelephoneMask(rate), method_);
  return LRef<LSoundStream>(MakeRef<LDistortionStream>(std::move(filtered), MakeDistortionCurve(0.1, -8)));
}

LEffectTask MakeTelephoneTask() { return {kTelephoneName, std::make_shared<LTelephoneProcessor>()}; }

void TelephoneCommand(LCommandContext& context) {
  RunStreamEffectCommand(context, {.undoName = kTelephoneName, .title = kTelephoneName},
                         [] { return MakeTelephoneTask(); });
}

}  // namespace klangor
