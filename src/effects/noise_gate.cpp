#include "effects/noise_gate.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "dsp/db_table.h"
#include "dsp/effect_math.h"
#include "dsp/fixed_point.h"
#include "effects/effect_command.h"
#include "settings/settings_keys.h"

namespace klangor {
namespace {

int32_t Add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t Sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

// The gain's step over `frames` frames towards `target`.
int32_t StepTowards(int32_t gain, int32_t target, int32_t frames) {
  return static_cast<int32_t>((int64_t{target} - gain) / std::max(frames, 1));
}

}  // namespace

std::array<int, kNoiseGateBands> NoiseGateThresholds(int32_t level) {
  const int g = static_cast<int>(std::clamp<int32_t>(level, -1000, 1000));
  return {SaturateDb(g + 3), SaturateDb(g), SaturateDb(g - 3), SaturateDb(g)};
}

int32_t NoiseGateGain(int32_t peak, int threshold) {
  const double gain = GainOfDb(threshold) / 16777216.0;
  // A silent threshold (gain 0) takes the largest scale: the gate opens from a peak of 4 and
  // is fully open from 21.
  const int32_t scale = gain > 0.0 ? TruncToInt32(8589934592.0 / (gain * 131072.0)) : std::numeric_limits<int32_t>::max();
  const int64_t v = int64_t{MulQ24(peak, scale)} - 512;
  if (v < 0) return 0;
  if (v > 2048) return kUnityQ24;
  return static_cast<int32_t>(v * 8192);
}

LNoiseGateStream::LNoiseGateStream(LRef<LSoundStream> input, int32_t level)
    : LSoundFilter(std::move(input)),
      thresholds_(NoiseGateThresholds(level)),
      window_(std::clamp(SampleRate() / 30, 20, 8192)) {
  const int32_t rate = SampleRate();
  const double cutoffs[4] = {50.0, 400.0, 1100.0, 2600.0};
  for (int i = 0; i < 4; ++i) coefficients_[static_cast<size_t>(i)] = rate > 0 ? OnePoleCoefficient(cutoffs[i], rate) : 0;
  const auto channels = static_cast<size_t>(Channels());
  dc_.assign(channels, LOnePoleHighPass(coefficients_[0]));
  lowPasses_.assign(channels, {LOnePoleLowPass(coefficients_[1]), LOnePoleLowPass(coefficients_[2]),
                               LOnePoleLowPass(coefficients_[3])});
  raw_.resize(static_cast<size_t>(window_) * channels);
  for (LBandSet* set : {&current_, &next_}) {
    for (std::vector<int32_t>& band : *set) band.resize(raw_.size());
  }
}

void LNoiseGateStream::SplitNext(LBandSet& set) {
  Input().Read(raw_.data(), window_);
  const int channels = Channels();
  for (int c = 0; c < channels; ++c) {
    LOnePoleHighPass& dc = dc_[static_cast<size_t>(c)];
    std::array<LOnePoleLowPass, 3>& low = lowPasses_[static_cast<size_t>(c)];
    for (int32_t i = 0; i < window_; ++i) {
      const size_t at = static_cast<size_t>(i) * channels + c;
      int32_t x = dc.Process(raw_[at]);
      for (int b = 0; b < 3; ++b) {
        const int32_t part = low[static_cast<size_t>(b)].Process(x);
        set[static_cast<size_t>(b)][at] = part;
        x = Sub(x, part);
      }
      set[3][at] = x;
    }
  }
}

std::array<int32_t, kNoiseGateBands> LNoiseGateStream::GainsOf(const LBandSet& set) const {
  std::array<int32_t, kNoiseGateBands> gains{};
  for (int b = 0; b < kNoiseGateBands; ++b) {
    const std::vector<int32_t>& band = set[static_cast<size_t>(b)];
    gains[static_cast<size_t>(b)] = NoiseGateGain(PeakOf(band.data(), band.size()), thresholds_[static_cast<size_t>(b)]);
  }
  return gains;
}

void LNoiseGateStream::Prime() {
  for (LOnePoleHighPass& filter : dc_) filter.Reset();
  for (auto& filters : lowPasses_) {
    for (LOnePoleLowPass& filter : filters) filter.Reset();
  }
  SplitNext(current_);
  SplitNext(next_);
  gains_ = GainsOf(current_);
  steps_ = {};
  offset_ = 0;
  primed_ = true;
}

void LNoiseGateStream::Read(int32_t* frames, int32_t frameCount) {
  if (!primed_) Prime();
  const int channels = Channels();
  while (frameCount > 0) {
    if (offset_ >= window_) {
      std::swap(current_, next_);
      SplitNext(next_);
      const std::array<int32_t, kNoiseGateBands> targets = GainsOf(next_);
      for (int b = 0; b < kNoiseGateBands; ++b) {
        const size_t i = static_cast<size_t>(b);
        const int32_t ramp = targets[i] >= gains_[i] ? window_ : (b == 0 ? 4 : 2) * window_;
        steps_[i] = StepTowards(gains_[i], targets[i], ramp);
      }
      offset_ = 0;
    }
    const int32_t n = std::min(frameCount, window_ - offset_);
    for (int32_t f = 0; f < n; ++f) {
      const size_t at = static_cast<size_t>(offset_ + f) * channels;
      int32_t* out = frames + static_cast<size_t>(f) * channels;
      for (int c = 0; c < channels; ++c) {
        int32_t sum = 0;
        for (int b = 0; b < kNoiseGateBands; ++b) {
          sum = Add(sum, MulQ24(current_[static_cast<size_t>(b)][at + c], gains_[static_cast<size_t>(b)]));
        }
        out[c] = sum;
      }
      for (int b = 0; b < kNoiseGateBands; ++b) {
        gains_[static_cast<size_t>(b)] = Add(gains_[static_cast<size_t>(b)], steps_[static_cast<size_t>(b)]);
      }
    }
    frames += static_cast<size_t>(n) * channels;
    frameCount -= n;
    offset_ += n;
  }
}

int32_t LNoiseGateStream::Position() const {
  if (!primed_) return Input().Position();
  return SaturateToInt32(int64_t{Input().Position()} + offset_ - 2 * int64_t{window_});
}

void LNoiseGateStream::Seek(int32_t frame) {
  Input().Seek(frame);
  primed_ = false;
}

LRef<LSoundStream> LNoiseGateProcessor::MakeStream(LRef<LSoundStream> input) const {
  if (!input->Usable()) return input;
  return LRef<LSoundStream>(MakeRef<LNoiseGateStream>(std::move(input), level_));
}

LEffectTask MakeNoiseGateTask(int32_t level) {
  return {kNoiseReductionTitle, std::make_shared<LNoiseGateProcessor>(level)};
}

LNoiseGateDialog::LNoiseGateDialog(int32_t level, const LSegmentList& selection)
    : LPreviewDialog(selection), level_(std::clamp(level, kLevelMin, kLevelMax)) {}

void LNoiseGateDialog::SetLevel(int32_t level) { level_ = std::clamp(level, kLevelMin, kLevelMax); }

void LNoiseGateDialog::ChoosePreset(int index) {
  if (index == 1) level_ = -20;  // "Störgeräusche Entfernen"
}

LRef<LSoundStream> LNoiseGateDialog::PreviewStream() const {
  return LNoiseGateProcessor(level_).MakeStream(SelectionStream());
}

void NoiseGateCommand(LCommandContext& context) {
  int32_t level = 0;
  LEffectCommand command{.undoName = kNoiseGateUndoName, .title = kNoiseReductionTitle};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LNoiseGateDialog dialog(ctx.settings.Read(kNoiseGateLevel), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    level = dialog.Level();
    ctx.settings.Write(kNoiseGateLevel, level);
    return true;
  };
  RunStreamEffectCommand(context, command, [&] { return MakeNoiseGateTask(level); });
}

}  // namespace klangor
