#include "effects/high_pass.h"

#include <cmath>

#include "dsp/effect_math.h"
#include "dsp/fixed_point.h"
#include "effects/effect_command.h"
#include "effects/one_pole.h"
#include "settings/settings_keys.h"

namespace klangor {
namespace {

int32_t Q24Of(double value) { return TruncToInt32(value * 16777216.0); }

int32_t Add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t Sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

}  // namespace

LHighPassCoefficients DesignHighPass(int32_t cutoffHz, int32_t sampleRate) {
  const double f = cutoffHz > 0 ? cutoffHz : 10.0;
  const double rate = sampleRate > 0 ? sampleRate : 44100.0;
  const double w = 2.0 * kPi * f / rate;
  const double c = std::cos(w);
  const double alpha = std::sin(w) * 0.7072135785007072;
  return {Q24Of(-2.0 * c / (1.0 + alpha)), Q24Of((1.0 - alpha) / (1.0 + alpha)),
          Q24Of((1.0 + c) / 2.0 / (1.0 + alpha)), Q24Of(-(1.0 + c) / (1.0 + alpha))};
}

LHighPassStream::LHighPassStream(LRef<LSoundStream> input, const LHighPassCoefficients& coefficients)
    : LSoundFilter(std::move(input)), k_(coefficients), states_(static_cast<size_t>(Channels())) {
  SetFullScale(kHighPassFullScale);
}

void LHighPassStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  const int channels = Channels();
  const LHighPassCoefficients k = k_;
  for (int c = 0; c < channels; ++c) {
    LState s = states_[static_cast<size_t>(c)];
    int32_t* sample = frames + c;
    for (int32_t i = 0; i < frameCount; ++i, sample += channels) {
      const int32_t x = *sample;
      const int32_t y = Add(Sub(Sub(MulQ24(Add(x, s.x2), k.b0), MulQ24(s.y1, k.a1)), MulQ24(s.y2, k.a2)),
                            MulQ24(s.x1, k.b1));
      s.x2 = s.x1;
      s.x1 = x;
      s.y2 = s.y1;
      s.y1 = y;
      *sample = y;
    }
    states_[static_cast<size_t>(c)] = s;
  }
}

void LHighPassStream::Seek(int32_t frame) {
  for (LState& state : states_) state = {};
  Input().Seek(frame);
}

LRef<LSoundStream> LHighPassProcessor::MakeStream(LRef<LSoundStream> input) const {
  const int32_t rate = input->SampleRate();
  return LRef<LSoundStream>(MakeRef<LHighPassStream>(std::move(input), DesignHighPass(cutoffHz_, rate)));
}

LEffectTask MakeHighPassTask(int32_t cutoffHz) {
  return {kHighPassTaskName, std::make_shared<LHighPassProcessor>(cutoffHz)};
}

LOnePoleHighPassStream::LOnePoleHighPassStream(LRef<LSoundStream> input, int32_t cutoffHz)
    : LSoundFilter(std::move(input)),
      filters_(static_cast<size_t>(Channels()), LOnePoleHighPass(OnePoleCoefficient(cutoffHz, SampleRate()))) {
  SetFullScale(OnePoleFullScale(FullScale()));
}

void LOnePoleHighPassStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  const int channels = Channels();
  for (int c = 0; c < channels; ++c) {
    LOnePoleHighPass& filter = filters_[static_cast<size_t>(c)];
    for (int32_t i = 0; i < frameCount; ++i) {
      int32_t& sample = frames[static_cast<size_t>(i) * channels + c];
      sample = filter.Process(sample);
    }
  }
}

void LOnePoleHighPassStream::Seek(int32_t frame) {
  for (LOnePoleHighPass& filter : filters_) filter.Reset();
  Input().Seek(frame);
}

void LHighPassDialog::ChoosePreset(int index) {
  switch (index) {
    case 1: cutoffHz = 200; break;   // "Allgemeines Audio Cleanup"
    case 2: cutoffHz = 4000; break;  // "Radio- / Telefon -Qualität"
    default: break;
  }
}

LRef<LSoundStream> LHighPassDialog::PreviewStream() const {
  return LRef<LSoundStream>(MakeRef<LOnePoleHighPassStream>(SelectionStream(), cutoffHz));
}

void HighPassCommand(LCommandContext& context) {
  int32_t cutoff = 0;
  LEffectCommand command{.undoName = kHighPassUndoName, .title = kHighPassTaskName};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LHighPassDialog dialog(ctx.settings.Read(kLowCutFreq), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    cutoff = dialog.cutoffHz;
    ctx.settings.Write(kLowCutFreq, cutoff);
    return true;
  };
  RunStreamEffectCommand(context, command, [&] { return MakeHighPassTask(cutoff); });
}

}  // namespace klangor
