#include "effects/am_radio.h"
#include "effects/effect_command.h"

#include <algorithm>

namespace klangor {

LAmRadioStream::LAmRadioStream(LRef<LSoundStream> input)
    : LSoundFilter(std::move(input)),
      highPass_(static_cast<size_t>(Channels()), LOnePoleHighPass(OnePoleCoefficient(100.0, SampleRate()))),
      lowPass_(static_cast<size_t>(Channels()), LOnePoleLowPass(OnePoleCoefficient(5000.0, SampleRate()))),
      curve_(MakeDistortionCurve(0.05, -8)) {
  SetFullScale(OnePoleFullScale(OnePoleFullScale(FullScale())));
}

void LAmRadioStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  const int channels = Channels();
  for (int c = 0; c < channels; ++c) {
    LOnePoleHighPass& highPass = highPass_[static_cast<size_t>(c)];
    LOnePoleLowPass& lowPass = lowPass_[static_cast<size_t>(c)];
    for (int32_t i = 0; i < frameCount; ++i) {
      int32_t& sample = frames[static_cast<size_t>(i) * channels + c];
      sample = lowPass.Process(highPass.Process(sample));
    }
  }
  ApplyDistortion(curve_, frames, static_cast<size_t>(std::max(frameCount, 0)) * channels);
}

void LAmRadioStream::Seek(int32_t frame) {
  for (LOnePoleHighPass& filter : highPass_) filter.Reset();
  for (LOnePoleLowPass& filter : lowPass_) filter.Reset();
  Input().Seek(frame);
}

LRef<LSoundStream> LAmRadioProcessor::MakeStream(LRef<LSoundStream> input) const {
  return LRef<LSoundStream>(MakeRef<LAmRadioStream>(std::move(input)));
}

LEffectTask MakeAmRadioTask() { return {kAmRadioName, std::make_shared<LAmRadioProcessor>()}; }

void AmRadioCommand(LCommandContext& context) {
  RunStreamEffectCommand(context, {.undoName = kAmRadioName, .title = kAmRadioName}, [] { return MakeAmRadioTask(); });
}

}  // namespace klangor
