#include "effects/chorus.h"

#include <algorithm>
#include <cmath>

#include "audio/pump.h"
#include "dsp/channel_converter.h"
#include "dsp/effect_math.h"
#include "effects/effect_command.h"
#include "effects/stream_effect.h"
#include "settings/settings_keys.h"
#include "store/block_writer.h"
#include "store/segment_stream.h"

namespace klangor {

LChorusStream::LChorusStream(LRef<LSoundStream> input, const LModulation& modulation)
    : LSoundFilter(std::move(input)),
      line_(modulation, SampleRate(), Channels()),
      origin_(Input().Position()),
      firstStep_(ModulationPhaseStep(0.75, modulation.rateHz, SampleRate())),
      secondStep_(ModulationPhaseStep(1.25, modulation.rateHz, SampleRate())) {}

void LChorusStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  const int channels = Channels();
  const double gain = line_.Gain();
  const bool modulated = line_.ExcursionFrames() != 0;
  std::array<double, kSineBlock> first;
  std::array<double, kSineBlock> second;
  for (int32_t start = 0; start < frameCount; start += kSineBlock) {
    const int32_t n = std::min(frameCount - start, kSineBlock);
    for (int32_t i = 0; i < n; ++i) {
      first[static_cast<size_t>(i)] = line_.Delay(modulated ? std::sin(firstPhase_) : 0.0);
      second[static_cast<size_t>(i)] = line_.Delay(modulated ? std::sin(secondPhase_) : 0.0);
      firstPhase_ += firstStep_;
      secondPhase_ += secondStep_;
    }
    line_.Mix(frames + static_cast<size_t>(start) * channels, n, first.data(), gain, second.data(), gain / 2);
  }
}

void LChorusStream::Seek(int32_t frame) {
  line_.Clear();
  firstPhase_ = ModulationPhaseAt(frame, origin_, firstStep_);
  secondPhase_ = ModulationPhaseAt(frame, origin_, secondStep_);
  Input().Seek(frame);
}

LRef<LSoundStream> LChorusProcessor::MakeStream(LRef<LSoundStream> input) const {
  if (input->Channels() == 1) input = MakeChannelConverter(std::move(input), 2);
  return LRef<LSoundStream>(MakeRef<LChorusStream>(std::move(input), modulation_));
}

LEffectTask MakeChorusTask(const LModulation& modulation) {
  return {kChorusName, std::make_shared<LChorusProcessor>(modulation)};
}

LResult RunChorus(LSoundDocument& document, const LModulation& modulation, LProgress& progress) {
  if (document.sound.Channels() != 1) return RunStreamEffect(document, MakeChorusTask(modulation), progress);
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end < start) return LResult::kDone;
  progress.SetTitle(kChorusName);
  // The chorus is made at the selection start, where its phases are 0.
  LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
  reader->Seek(start);
  LRef<LSoundStream> chorus = MakeChorusTask(modulation).processor->MakeStream(std::move(reader));
  LRef<LSoundStream> both = MakeChannelConverter(OpenSegmentStream(document.sound), 2);
  LSegmentList result;
  const LResult outcome = WriteBlock(document.sound.SampleRate(), 2, result, [&](LSoundSink& sink) {
    LResult pumped = PumpRange(*both, sink, 0, start, progress);
    if (pumped == LResult::kDone) pumped = PumpRange(*chorus, sink, start, end, progress);
    if (pumped == LResult::kDone) pumped = PumpRange(*both, sink, end, document.Length(), progress);
    return pumped;
  });
  if (outcome != LResult::kDone) return outcome;
  document.sound = std::move(result);
  document.LengthChanged();
  return LResult::kDone;
}

std::string LChorusDialog::Validate() {
  const double rate = DecimalOfText(modulation);
  if (!kChorusTime.range.Contains(timeMs)) return kTimeMessage;
  if (!(rate >= 0.0 && rate <= 2.0)) return kModulationMessage;
  if (!kChorusDepth.range.Contains(depthPercent)) return kDepthMessage;
  if (!kChorusGain.range.Contains(gainPercent)) return kDelayGainMessage;
  return {};
}

void LChorusDialog::ChoosePreset(int index) {
  static constexpr std::array<int32_t, 5> kTimes{0, 40, 65, 40, 65};
  static constexpr std::array<int32_t, 5> kGains{0, 80, 80, 50, 50};
  if (index < 1 || index >= static_cast<int>(kTimes.size())) return;
  timeMs = kTimes[static_cast<size_t>(index)];
  modulation = "0.5";
  depthPercent = 5;
  gainPercent = kGains[static_cast<size_t>(index)];
}

LModulation LChorusDialog::Values() const {
  return {timeMs, DecimalOfText(modulation), depthPercent, gainPercent};
}

LRef<LSoundStream> LChorusDialog::PreviewStream() const {
  return LChorusProcessor(Values()).MakeStream(SelectionStream());
}

void ChorusCommand(LCommandContext& context) {
  LModulation values;
  LEffectCommand command{.undoName = "Chorus", .title = kChorusName};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LChorusDialog dialog(ctx.settings.Read(kChorusTime), ctx.settings.Read(kChorusMod),
                         ctx.settings.Read(kChorusDepth), ctx.settings.Read(kChorusGain), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    values = dialog.Values();
    ctx.settings.Write(kChorusTime, dialog.timeMs);
    ctx.settings.Write(kChorusMod, dialog.modulation);
    ctx.settings.Write(kChorusDepth, dialog.depthPercent);
    ctx.settings.Write(kChorusGain, dialog.gainPercent);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) { return RunChorus(document, values, progress); };
  RunEffectCommand(context, command);
}

}  // namespace klangor
