#pragma once
// The AM radio effect ("AM Radioeffekt"): a one-pole high-pass at 100 Hz, then a one-pole
// low-pass at 5000 Hz (one state per channel each, effects/one_pole.h), then the distortion
// with degree 0.05 and level -8. Seek clears the filter states and forwards the seek.

#include <vector>

#include "audio/sound_stream.h"
#include "effects/distortion.h"
#include "effects/effect.h"
#include "effects/one_pole.h"
#include "frame/command_table.h"

namespace klangor {

inline constexpr char kAmRadioName[] = "AM Radioeffekt";

class LAmRadioStream final : public LSoundFilter {
 public:
  explicit LAmRadioStream(LRef<LSoundStream> input);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  std::vector<LOnePoleHighPass> highPass_;
  std::vector<LOnePoleLowPass> lowPass_;
  LDistortionCurve curve_;
};

class LAmRadioProcessor final : public LEffectProcessor {
 public:
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;
};

LEffectTask MakeAmRadioTask();

// The menu command "AM Radioeffekt" (no dialog).
void AmRadioCommand(LCommandContext& context);

}  // namespace klangor
