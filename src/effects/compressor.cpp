#include "effects/compressor.h"

#include <algorithm>
#include <memory>

#include "audio/time_units.h"
#include "dsp/fixed_point.h"
#include "effects/effect_command.h"
#include "effects/level.h"
#include "effects/stream_effect.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {

// The sliders span the ranges of their stored values.
static_assert(LCompressorDialog::kThresholdMin == kCompressorThreshold.range.min);
static_assert(LCompressorDialog::kThresholdMax == kCompressorThreshold.range.max);
static_assert(LCompressorDialog::kLimitMin == kCompressorLimit.range.min);
static_assert(LCompressorDialog::kLimitMax == kCompressorLimit.range.max);
namespace {

int8_t ToSignedByte(int32_t value) { return static_cast<int8_t>(std::clamp<int32_t>(value, -128, 127)); }

}  // namespace

LCompressorStream::LCompressorStream(LRef<LSoundStream> input, int threshold, double factor,
                                     uint32_t windowMs)
    : LSoundFilter(std::move(input)), table_(BuildGainTable(threshold, 127, factor)) {
  SetFullScale(kCompressorFullScale);
  const int64_t frames = MsToFrames(std::min<uint32_t>(windowMs, 1000000), SampleRate());
  window_ = static_cast<int32_t>(std::clamp<int64_t>(frames, 128, 8192));
  current_.resize(static_cast<size_t>(window_) * Channels());
  next_.resize(current_.size());
  offset_ = window_;
}

int32_t LCompressorStream::LevelGain(const std::vector<int32_t>& window) const {
  return GainForLevel(table_, LevelOf(window.data(), window.size()));
}

void LCompressorStream::NextWindow() {
  if (firstWindow_) {
    Input().Read(current_.data(), window_);
    gain_ = LevelGain(current_);
    // Before the first window the gain has been steady at its own entry.
    target_ = gain_;
    firstWindow_ = false;
  } else {
    std::swap(current_, next_);
  }
  previousTarget_ = target_;
  Input().Read(next_.data(), window_);
  target_ = LevelGain(next_);
  if (target_ < gain_) {
    step_ = static_cast<int32_t>((int64_t{target_} - gain_) / (window_ + window_ / 4));
  } else {
    const int64_t middle = (int64_t{previousTarget_} + target_) / 2;
    step_ = static_cast<int32_t>((middle - gain_) / (2 * int64_t{window_}));
  }
  offset_ = 0;
}

void LCompressorStream::Read(int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  while (frameCount > 0) {
    if (offset_ >= window_) NextWindow();
    const int32_t n = std::min(window_ - offset_, frameCount);
    const size_t samples = static_cast<size_t>(n) * channels;
    gain_ = ApplyGainRamp(current_.data() + static_cast<size_t>(offset_) * channels, frames, n, channels, gain_,
                          step_);
    frames += samples;
    frameCount -= n;
    offset_ += n;
  }
}

int32_t LCompressorStream::Position() const {
  if (firstWindow_) return Input().Position();
  return static_cast<int32_t>(int64_t{Input().Position()} + offset_ - 2 * int64_t{window_});
}

void LCompressorStream::Seek(int32_t frame) {
  Input().Seek(frame);
  offset_ = window_;
  firstWindow_ = true;
}

LRef<LSoundStream> LCompressorProcessor::MakeStream(LRef<LSoundStream> input) const {
  return LRef<LSoundStream>(MakeRef<LCompressorStream>(std::move(input), threshold_, factor_, windowMs_));
}

LEffectTask MakeCompressorTask(int32_t threshold, double factor, int32_t limit) {
  return {kCompressorName,
          std::make_shared<LCompressorProcessor>(ToSignedByte(threshold), factor, ToSignedByte(limit))};
}

LResult RunCompressor(LSoundDocument& document, int threshold, double factor, int limit,
                      LProgress& progress) {
  return RunStreamEffect(document, MakeCompressorTask(threshold, factor, limit), progress);
}

LCompressorDialog::LCompressorDialog(int32_t thresholdDb, int32_t ratio, int32_t limitDb,
                                     const LSegmentList& selection)
    : LPreviewDialog(selection),
      threshold(std::clamp(thresholdDb, kThresholdMin, kThresholdMax)),
      ratioIndex(ratio),
      limit(std::clamp(limitDb, kLimitMin, kLimitMax)) {}

std::vector<std::string> LCompressorDialog::RatioLabels() {
  std::vector<std::string> labels;
  for (const LCompressorRatio& ratio : kCompressorRatios) labels.emplace_back(ratio.label);
  return labels;
}

void LCompressorDialog::ChoosePreset(int index) {
  switch (index) {
    case 1:  // "Allgemeines Voice Level"
      threshold = -10;
      ratioIndex = 1;  // "3:2"
      limit = 4;
      break;
    case 2:  // "TV/Radio Unterstützung"
      threshold = -6;
      ratioIndex = 2;  // "2:1"
      limit = 3;
      break;
    default:
      break;
  }
}

LRef<LSoundStream> LCompressorDialog::PreviewStream() const {
  return MakeCompressorTask(threshold, CompressorRatioFactor(ratioIndex), limit).processor->MakeStream(SelectionStream());
}

void CompressorCommand(LCommandContext& context) {
  int32_t threshold = 0;
  int32_t ratio = 0;
  int32_t limit = 0;
  LEffectCommand command;
  command.undoName = kCompressorName;
  command.title = kCompressorName;
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LSettingsStore& settings = ctx.settings;
    LCompressorDialog dialog(settings.ReadInt(kCompressorThreshold.section, kCompressorThreshold.name, 0),
                             settings.ReadInt(kCompressorRatio.section, kCompressorRatio.name, 0),
                             settings.ReadInt(kCompressorLimit.section, kCompressorLimit.name, 0), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    threshold = dialog.threshold;
    ratio = dialog.ratioIndex;
    limit = dialog.limit;
    settings.Write(kCompressorThreshold, threshold);
    settings.Write(kCompressorRatio, ratio);
    settings.Write(kCompressorLimit, limit);
    return IsCompressorRatio(ratio);
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunCompressor(document, threshold, CompressorRatioFactor(ratio), limit, progress);
  };
  RunEffectCommand(context, command);
}

}  // namespace klangor
