#pragma once
// The telephone effect ("Telefoneffekt"): the 2048-band FIR filter (effects/fir_filter.h)
// with a mask that passes 300 Hz to 3600 Hz at level 100, then the distortion with degree
// 0.1 and level -8.
//
// Mask: with h half the sample rate (44100 when that is not positive), bands from
// trunc(614400 / h) up to below trunc(7372800 / h) are 100, all others 0; both band numbers
// are capped at 2047.

#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/fir_filter.h"
#include "frame/command_table.h"

namespace klangor {

inline constexpr char kTelephoneName[] = "Telefoneffekt";

LFirMask TelephoneMask(int32_t sampleRate);

class LTelephoneProcessor final : public LEffectProcessor {
 public:
  explicit LTelephoneProcessor(LFirMethod method = LFirMethod::kFastest) : method_(method) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  LFirMethod method_;
};

LEffectTask MakeTelephoneTask();

// The menu command "Telefoneffekt" (no dialog).
void TelephoneCommand(LCommandContext& context);

}  // namespace klangor
