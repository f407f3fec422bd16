#include "effects/echo.h"

#include <algorithm>

#include "audio/time_units.h"
#include "dsp/effect_math.h"
#include "effects/effect_command.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

// One run of the comb over samples whose line positions do not wrap.
void EchoRun(int32_t* __restrict samples, int32_t* __restrict line, size_t count, int32_t gain) {
  for (size_t i = 0; i < count; ++i) {
    const int32_t y = SaturateToInt32(int64_t{samples[i]} + ((int64_t{line[i]} * gain) >> 9));
    line[i] = y;
    samples[i] = y;
  }
}

}  // namespace

int32_t DelayFrames(int32_t ms, int32_t sampleRate) {
  return static_cast<int32_t>(MsToFrames(std::min(ms, kMaxDelayMs), sampleRate));
}

LEchoStream::LEchoStream(LRef<LSoundStream> input, int32_t delaySamples, int32_t gainQ9)
    : LSoundFilter(std::move(input)), line_(static_cast<size_t>(std::max(delaySamples, 1)), 0), gain_(gainQ9) {}

void LEchoStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  const size_t total = static_cast<size_t>(std::max(frameCount, 0)) * Channels();
  for (size_t done = 0; done < total;) {
    const size_t run = std::min(total - done, line_.size() - write_);
    EchoRun(frames + done, line_.data() + write_, run, gain_);
    done += run;
    write_ += run;
    if (write_ == line_.size()) write_ = 0;
  }
}

void LEchoStream::Seek(int32_t frame) {
  std::fill(line_.begin(), line_.end(), 0);
  Input().Seek(frame);
}

LRef<LSoundStream> LEchoProcessor::MakeStream(LRef<LSoundStream> input) const {
  if (timeMs_ < 1) return input;
  // The gain is a 16-bit percentage.
  const int32_t gain = std::clamp(gainPercent_, -32768, 99);
  const int64_t samples = int64_t{DelayFrames(timeMs_, input->SampleRate())} * input->Channels();
  const auto length = static_cast<int32_t>(std::max<int64_t>(samples, 20));
  return LRef<LSoundStream>(MakeRef<LEchoStream>(std::move(input), length, gain * 512 / 100));
}

LEffectTask MakeEchoTask(int32_t timeMs, int32_t gainPercent) {
  return {kEchoName, std::make_shared<LEchoProcessor>(timeMs, gainPercent)};
}

std::string LEchoDialog::Validate() {
  if (!kEchoTime.range.Contains(timeMs)) return kTimeMessage;
  if (!kEchoGain.range.Contains(gainPercent)) return kGainMessage;
  return {};
}

void LEchoDialog::ChoosePreset(int index) {
  switch (index) {
    case 1: timeMs = 50, gainPercent = 10; break;    // "Wohnzimmer"
    case 2: timeMs = 400, gainPercent = 40; break;   // "Höhle"
    case 3: timeMs = 750, gainPercent = 75; break;   // "Grand Canyon"
    default: break;
  }
}

LRef<LSoundStream> LEchoDialog::PreviewStream() const {
  return LEchoProcessor(timeMs, gainPercent).MakeStream(SelectionStream());
}

void EchoCommand(LCommandContext& context) {
  int32_t time = 0;
  int32_t gain = 0;
  LEffectCommand command{.undoName = "Echo", .title = kEchoName};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LEchoDialog dialog(ctx.settings.Read(kEchoTime), ctx.settings.Read(kEchoGain), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    time = dialog.timeMs;
    gain = dialog.gainPercent;
    ctx.settings.Write(kEchoTime, time);
    ctx.settings.Write(kEchoGain, gain);
    return true;
  };
  RunStreamEffectCommand(context, command, [&] { return MakeEchoTask(time, gain); });
}

}  // namespace klangor
