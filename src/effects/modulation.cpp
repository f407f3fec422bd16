#include "effects/modulation.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "audio/pump.h"
#include "dsp/channel_converter.h"
#include "dsp/effect_math.h"
#include "effects/stream_effect.h"
#include "store/block_writer.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// The phase step per frame, 2 pi x factor x modulation / rate; one that is not finite means
// no modulation.
double PhaseStep(double factor, double modulation, int32_t sampleRate) {
  const double step = kTwoPi * factor * modulation / sampleRate;
  return std::isfinite(step) ? step : 0.0;
}

// The frames whose sines are taken before they are mixed.
constexpr int32_t kSineBlock = 256;

// trunc(gain x tap): gains are at most about 2^25 (a 32-bit percentage) and taps 2^31 in
// size, so the product always fits in 64 bits.
int64_t Trunc64(double value) { return static_cast<int64_t>(value); }

}  // namespace

LModulatedLine::LModulatedLine(const LModulation& modulation, int32_t sampleRate, int channels)
    : channels_(channels) {
  const int64_t time = std::clamp(modulation.timeMs, 0, 1000);
  const int64_t depth = std::clamp(modulation.depthPercent, 0, 100);
  base_ = static_cast<int32_t>(int64_t{sampleRate} * time / 1000);
  excursion_ = static_cast<int32_t>(base_ * depth / 100);
  gain_ = modulation.gainPercent * 0.01;
  frames_ = base_ + 2 + excursion_;
  line_.assign(static_cast<size_t>(frames_) * channels_, 0);
}

void LModulatedLine::Clear() { std::fill(line_.begin(), line_.end(), 0); }

double LModulatedLine::Delay(double sine) const {
  if (excursion_ == 0) return base_;
  const double delay = sine * excursion_ + base_;
  return delay >= 0.0 && delay <= base_ + excursion_ ? delay : base_;
}

LModulatedLine::LPlace LModulatedLine::Place(double delay) const {
  const auto whole = static_cast<int32_t>(delay);
  int32_t newer = write_ - whole;
  if (newer < 0) newer += frames_;
  int32_t older = newer - 1;
  if (older < 0) older += frames_;
  return {static_cast<size_t>(newer) * channels_, static_cast<size_t>(older) * channels_, delay - whole};
}

// kChannels is the channel count when it is known at compile time, 0 otherwise; kTwoTaps
// tells whether `second` holds a second list of delays.
template <int kChannels, bool kTwoTaps>
void LModulatedLine::MixFrames(int32_t* frames, int32_t frameCount, const double* delays, double gain,
                               const double* second, double secondGain, int channels) {
  if constexpr (kChannels != 0) channels = kChannels;
  const int32_t* line = line_.data();
  for (int32_t i = 0; i < frameCount; ++i) {
    const LPlace first = Place(delays[i]);
    const LPlace other = kTwoTaps ? Place(second[i]) : first;
    int32_t* frame = frames + static_cast<size_t>(i) * channels;
    int32_t* newest = line_.data() + static_cast<size_t>(write_) * channels;
    for (int c = 0; c < channels; ++c) newest[c] = frame[c];
    for (int c = 0; c < channels; ++c) {
      const double tap = (1.0 - first.fraction) * line[first.newer + c] + first.fraction * line[first.older + c];
      int64_t y = int64_t{frame[c]} + Trunc64(gain * tap);
      if constexpr (kTwoTaps) {
        const double late = (1.0 - other.fraction) * line[other.newer + c] + other.fraction * line[other.older + c];
        y += Trunc64(secondGain * late);
      }
      frame[c] = SaturateToInt32(y);
    }
    write_ = write_ + 1 == frames_ ? 0 : write_ + 1;
  }
}

void LModulatedLine::Mix(int32_t* frames, int32_t frameCount, const double* delays, double gain,
                         const double* second, double secondGain) {
  if (second != nullptr) {
    switch (channels_) {
      case 2: MixFrames<2, true>(frames, frameCount, delays, gain, second, secondGain, 2); break;
      default: MixFrames<0, true>(frames, frameCount, delays, gain, second, secondGain, channels_); break;
    }
    return;
  }
  switch (channels_) {
    case 1: MixFrames<1, false>(frames, frameCount, delays, gain, nullptr, 0.0, 1); break;
    case 2: MixFrames<2, false>(frames, frameCount, delays, gain, nullptr, 0.0, 2); break;
    default: MixFrames<0, false>(frames, frameCount, delays, gain, nullptr, 0.0, channels_); break;
  }
}

LFlangerStream::LFlangerStream(LRef<LSoundStream> input, const LModulation& modulation)
    : LSoundFilter(std::move(input)),
      line_(modulation, SampleRate(), Channels()),
      step_(PhaseStep(1.0, modulation.rateHz, SampleRate())) {}

void LFlangerStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  const bool modulated = line_.ExcursionFrames() != 0;
  std::array<double, kSineBlock> delays;
  for (int32_t start = 0; start < frameCount; start += kSineBlock) {
    const int32_t n = std::min(frameCount - start, kSineBlock);
    for (int32_t i = 0; i < n; ++i) {
      delays[static_cast<size_t>(i)] = line_.Delay(modulated ? std::sin(phase_) : 0.0);
      phase_ += step_;
    }
    line_.Mix(frames + static_cast<size_t>(start) * Channels(), n, delays.data(), line_.Gain(), nullptr, 0.0);
  }
}

void LFlangerStream::Seek(int32_t frame) {
  line_.Clear();
  Input().Seek(frame);
}

LChorusStream::LChorusStream(LRef<LSoundStream> input, const LModulation& modulation)
    : LSoundFilter(std::move(input)),
      line_(modulation, SampleRate(), Channels()),
      firstStep_(PhaseStep(0.75, modulation.rateHz, SampleRate())),
      secondStep_(PhaseStep(1.25, modulation.rateHz, SampleRate())) {}

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
  Input().Seek(frame);
}

LRef<LSoundStream> LPhaserProcessor::MakeStream(LRef<LSoundStream> input) const {
  return LRef<LSoundStream>(MakeRef<LFlangerStream>(std::move(input), LModulation{timeMs_, 0.0, 0, gainPercent_}));
}

LRef<LSoundStream> LFlangerProcessor::MakeStream(LRef<LSoundStream> input) const {
  return LRef<LSoundStream>(MakeRef<LFlangerStream>(std::move(input), modulation_));
}

LRef<LSoundStream> LChorusProcessor::MakeStream(LRef<LSoundStream> input) const {
  if (input->Channels() == 1) input = MakeChannelConverter(std::move(input), 2);
  return LRef<LSoundStream>(MakeRef<LChorusStream>(std::move(input), modulation_));
}

LEffectTask MakePhaserTask(int32_t timeMs, int32_t gainPercent) {
  return {kPhaserName, std::make_shared<LPhaserProcessor>(timeMs, gainPercent)};
}

LEffectTask MakeFlangerTask(const LModulation& modulation) {
  return {kFlangerName, std::make_shared<LFlangerProcessor>(modulation)};
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
  LRef<LSoundStream> chorus = MakeChorusTask(modulation).processor->MakeStream(OpenSegmentStream(document.sound));
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

std::string LPhaserDialog::Validate() {
  if (timeMs < 0 || timeMs > 10) return kTimeMessage;
  if (gainPercent < 0 || gainPercent > 100) return kGainMessage;
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

std::string LFlangerDialog::Validate() {
  const double rate = DecimalOfText(modulation);
  if (timeMs < 0 || timeMs > 10) return LPhaserDialog::kTimeMessage;
  if (!(rate >= 0.0 && rate <= 5.0)) return kModulationMessage;
  if (depthPercent < 0 || depthPercent > 100) return kDepthMessage;
  if (gainPercent < 0 || gainPercent > 100) return LPhaserDialog::kGainMessage;
  return {};
}

void LFlangerDialog::ChoosePreset(int index) {
  static constexpr std::array<int32_t, 4> kGains{0, 100, 90, 50};  // "Stark", "Mittel", "Leicht"
  if (index < 1 || index >= static_cast<int>(kGains.size())) return;
  timeMs = 5;
  modulation = "0.5";
  depthPercent = 70;
  gainPercent = kGains[static_cast<size_t>(index)];
}

LModulation LFlangerDialog::Values() const {
  return {timeMs, DecimalOfText(modulation), depthPercent, gainPercent};
}

LRef<LSoundStream> LFlangerDialog::PreviewStream() const {
  return LFlangerProcessor(Values()).MakeStream(SelectionStream());
}

std::string LChorusDialog::Validate() {
  const double rate = DecimalOfText(modulation);
  if (timeMs < 10 || timeMs > 100) return kTimeMessage;
  if (!(rate >= 0.0 && rate <= 2.0)) return kModulationMessage;
  if (depthPercent < 0 || depthPercent > 30) return kDepthMessage;
  if (gainPercent < 0 || gainPercent > 100) return LPhaserDialog::kGainMessage;
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

}  // namespace klangor
