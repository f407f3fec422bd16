#include "effects/click_repair.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "audio/pump.h"
#include "dsp/effect_math.h"
#include "effects/effect_command.h"
#include "effects/high_pass.h"
#include "settings/settings_keys.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

constexpr int32_t kDetectionCutoffHz = 1500;
// Frames of the detection filter run before the first frame that is looked at, so that it
// has settled there.
constexpr int32_t kWarmUpFrames = 256;

int64_t Magnitude(int32_t sample) { return std::llabs(int64_t{sample}); }

// Reads the sound through the detection filter from `from` on.
class LDetectionReader {
 public:
  LDetectionReader(LRef<LSoundStream> input, int64_t from)
      : channels_(input->Channels()), stream_([&] {
          const int32_t rate = input->SampleRate();
          input->Seek(SaturateToInt32(from - kWarmUpFrames));
          return MakeRef<LHighPassStream>(std::move(input), DesignHighPass(kDetectionCutoffHz, rate));
        }()) {
    std::vector<int32_t> warmUp(static_cast<size_t>(kWarmUpFrames) * channels_);
    stream_->Read(warmUp.data(), kWarmUpFrames);
  }
  void Read(int32_t* frames, int32_t frameCount) { stream_->Read(frames, frameCount); }

 private:
  int channels_;
  LRef<LHighPassStream> stream_;
};

// The clicks of frames [start, end) of `sound` with the automatic detector's windows.
LResult FindSelectionClicks(const LSegmentList& sound, int32_t start, int32_t end, const LClickRule& rule,
                            LProgress& progress, std::vector<LRepairRange>& ranges) {
  const int channels = sound.Channels();
  const int32_t window = std::max((sound.SampleRate() / 100 + 4) & ~3, 8);
  const int32_t half = window / 2;
  const int32_t quarter = window / 4;
  const int32_t d = rule.lag;
  const int32_t frames = window + rule.longest + 1;  // a walk may leave the window
  const int64_t base = int64_t{start} - quarter - d;
  LDetectionReader reader(OpenSegmentStream(sound), base);
  std::vector<int32_t> x(static_cast<size_t>(frames) * channels);
  reader.Read(x.data(), frames);
  progress.SetStatusLine(kPleaseWait);
  const int64_t total = std::max<int64_t>(int64_t{end} - start, 1);
  int64_t reported = 0;
  std::vector<LRepairRange> found;
  for (int64_t scanStart = start; scanStart < end; scanStart += half) {
    const int64_t first = scanStart - quarter - d;
    const auto scanTo = static_cast<int32_t>(std::min<int64_t>(quarter + d + half, end - first));
    for (int c = 0; c < channels; ++c) {
      FindClicks(x.data(), frames, channels, c, 0, window, quarter + d, scanTo, rule, first, found);
    }
    if (scanStart - start - reported >= kPumpFrames) {
      reported = scanStart - start;
      progress.SetProgress(reported, total);
      if (progress.Cancelled()) return LResult::kCancelled;
    }
    std::copy(x.begin() + static_cast<std::ptrdiff_t>(half) * channels, x.end(), x.begin());
    reader.Read(x.data() + static_cast<size_t>(frames - half) * channels, half);
  }
  progress.SetProgress(total, total);
  ranges = ArrangeRepairs(std::move(found), start, end);
  return LResult::kDone;
}

}  // namespace

LClickRule AutoClickRule(int32_t sampleRate, int32_t sensitivity, int32_t maxClickLengthUs) {
  const int32_t rate = std::max(sampleRate, 1);
  const int64_t us = std::clamp(maxClickLengthUs, LClickRepairDialog::kMaxLengthMin, LClickRepairDialog::kMaxLengthMax);
  return {std::max(100 - std::clamp(sensitivity, 0, 100), 1), rate / 44100 + 1,
          static_cast<int32_t>(int64_t{rate} * us / 1000000)};
}

void FindClicks(const int32_t* x, int32_t frames, int channels, int channel, int32_t statsFrom, int32_t statsTo,
                int32_t scanFrom, int32_t scanTo, const LClickRule& rule, int64_t firstFrame,
                std::vector<LRepairRange>& found) {
  const auto at = [&](int32_t i) { return x[static_cast<size_t>(i) * channels + channel]; };
  const int32_t d = std::max(rule.lag, 1);
  statsTo = std::min(statsTo, frames);
  if (statsTo - statsFrom <= d) return;
  int64_t sumA = 0;
  for (int32_t i = statsFrom; i < statsTo; ++i) sumA += Magnitude(at(i));
  const int64_t a0 = sumA / (statsTo - statsFrom);
  const int32_t jumps = statsTo - statsFrom - d;
  int64_t sumD = 0;
  for (int32_t i = statsFrom + d; i < statsTo; ++i) sumD += std::llabs(int64_t{at(i)} - at(i - d));
  const int64_t meanD = sumD / jumps;
  double sumS = 0.0;
  for (int32_t i = statsFrom + d; i < statsTo; ++i) {
    const double deviation = static_cast<double>(std::llabs(int64_t{at(i)} - at(i - d)) - meanD);
    sumS += deviation * deviation;
  }
  const auto s = static_cast<int64_t>(std::sqrt(sumS / jumps));
  const int64_t k = std::max(rule.k, 1);
  int64_t a = k * a0 / 50 + meanD;
  int64_t j = (k * s / 50 + 100 + meanD) * (k / 10);
  for (int32_t i = std::max(scanFrom, d); i < std::min(scanTo, frames); ++i) {
    const int64_t level = Magnitude(at(i));
    if (!(level - Magnitude(at(i - d)) > j && level > a)) continue;
    int32_t m = i + 1;
    while (m < frames && m - i <= rule.longest && Magnitude(at(m)) >= level / 3) ++m;
    if (m < frames && m - i <= rule.longest) {
      found.push_back({channel, SaturateToInt32(firstFrame + i - d), SaturateToInt32(firstFrame + m + 1)});
      i = m + d - 1;
    } else {
      j += j / 2;
      a += a / 2;
    }
  }
}

std::vector<LRepairRange> ArrangeRepairs(std::vector<LRepairRange> ranges, int32_t from, int32_t to) {
  for (LRepairRange& range : ranges) {
    range.start = std::max(range.start, from);
    range.end = std::min(range.end, to);
  }
  std::erase_if(ranges, [](const LRepairRange& range) { return range.end <= range.start; });
  std::sort(ranges.begin(), ranges.end(), [](const LRepairRange& x, const LRepairRange& y) {
    return x.channel != y.channel ? x.channel < y.channel : x.start < y.start;
  });
  std::vector<LRepairRange> joined;
  for (const LRepairRange& range : ranges) {
    if (!joined.empty() && joined.back().channel == range.channel && range.start <= joined.back().end) {
      joined.back().end = std::max(joined.back().end, range.end);
    } else {
      joined.push_back(range);
    }
  }
  std::stable_sort(joined.begin(), joined.end(),
                   [](const LRepairRange& x, const LRepairRange& y) { return x.start < y.start; });
  return joined;
}

LRangeRepairStream::LRangeRepairStream(LRef<LSoundStream> input, std::vector<LRepairRange> ranges)
    : LSoundFilter(std::move(input)), ranges_(std::move(ranges)), margin_(1), position_(Input().Position()) {
  for (const LRepairRange& range : ranges_) margin_ = std::max(margin_, range.end - range.start + 1);
  Seek(position_);
}

int32_t LRangeRepairStream::Sample(int64_t frame, int channel) const {
  return buffer_[static_cast<size_t>(frame - bufferStart_) * Channels() + channel];
}

void LRangeRepairStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  const int channels = Channels();
  const int64_t keepFrom = int64_t{position_} - margin_;
  if (keepFrom > bufferStart_) {
    const size_t drop = std::min(static_cast<size_t>(keepFrom - bufferStart_) * channels, buffer_.size());
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(drop));
    bufferStart_ = keepFrom;
  }
  const int64_t bufferEnd = bufferStart_ + static_cast<int64_t>(buffer_.size() / channels);
  const int64_t wanted = int64_t{position_} + frameCount + margin_;
  if (wanted > bufferEnd) {
    const auto more = static_cast<int32_t>(wanted - bufferEnd);
    buffer_.resize(buffer_.size() + static_cast<size_t>(more) * channels);
    Input().Read(buffer_.data() + buffer_.size() - static_cast<size_t>(more) * channels, more);
  }
  std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(position_ - bufferStart_) * channels,
              static_cast<size_t>(frameCount) * channels, frames);
  const int64_t outEnd = int64_t{position_} + frameCount;
  auto range = std::lower_bound(ranges_.begin(), ranges_.end(), int64_t{position_} - margin_,
                                [](const LRepairRange& r, int64_t frame) { return r.start < frame; });
  for (; range != ranges_.end() && range->start < outEnd; ++range) {
    if (range->end <= position_) continue;
    const int64_t first = Sample(int64_t{range->start} - 1, range->channel);
    const int64_t last = Sample(range->end, range->channel);
    const int64_t steps = int64_t{range->end} - range->start + 1;
    const int64_t from = std::max<int64_t>(range->start, position_);
    const int64_t to = std::min<int64_t>(range->end, outEnd);
    for (int64_t f = from; f < to; ++f) {
      const int64_t k = f - range->start + 1;
      frames[static_cast<size_t>(f - position_) * channels + range->channel] =
          static_cast<int32_t>((k * last + (steps - k) * first) / steps);
    }
  }
  position_ = SaturateToInt32(outEnd);
}

void LRangeRepairStream::Seek(int32_t frame) {
  position_ = frame;
  bufferStart_ = int64_t{frame} - margin_;
  buffer_.clear();
  Input().Seek(SaturateToInt32(bufferStart_));
  bufferStart_ = Input().Position();
}

LResult RunClickRepair(LSoundDocument& document, int32_t sensitivity, int32_t maxClickLengthUs, LProgress& progress,
                       std::vector<LRepairRange>* found) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end <= start) return LResult::kDone;
  progress.SetTitle(kClickDetectingTitle);
  const LClickRule rule = AutoClickRule(document.sound.SampleRate(), sensitivity, maxClickLengthUs);
  std::vector<LRepairRange> ranges;
  const LResult result = FindSelectionClicks(document.sound, start, end, rule, progress, ranges);
  if (result != LResult::kDone) return result;
  if (found != nullptr) *found = ranges;
  if (ranges.empty()) return LResult::kDone;
  return ReplaceSelectionWith(document, [&](LSoundSink& sink) {
    LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
    reader->Seek(start);
    auto stream = MakeRef<LRangeRepairStream>(std::move(reader), ranges);
    return PumpRange(*stream, sink, start, end, progress);
  });
}

LRef<LSoundStream> LManualClickProcessor::MakeStream(LRef<LSoundStream> input) const {
  if (!input->Usable() || frames_ <= 0) return input;
  const int32_t rate = std::max(input->SampleRate(), 1);
  const int channels = input->Channels();
  const int64_t start = input->Position();
  const LClickRule rule{35, rate / 22050 + 1, std::max(static_cast<int32_t>(rate * 450 * 0.000001), 4)};
  const int32_t window = std::max(rate / 100, 2 * rule.longest);
  const int64_t centre = start + frames_ / 2;
  const int64_t from = std::min(centre - window / 2, start - rule.lag);
  const int64_t to = std::max(centre + window / 2, start + frames_ + rule.longest + 1);
  const auto count = static_cast<int32_t>(to - from);
  std::vector<int32_t> x(static_cast<size_t>(count) * channels);
  LDetectionReader(input, from).Read(x.data(), count);
  std::vector<LRepairRange> found;
  const auto statsFrom = static_cast<int32_t>(centre - window / 2 - from);
  const auto scanFrom = static_cast<int32_t>(start - from);
  for (int c = 0; c < channels; ++c) {
    FindClicks(x.data(), count, channels, c, statsFrom, statsFrom + window, scanFrom, scanFrom + frames_, rule, from,
               found);
  }
  input->Seek(SaturateToInt32(start));
  const auto end = SaturateToInt32(start + frames_);
  return LRef<LSoundStream>(MakeRef<LRangeRepairStream>(std::move(input),
                                                        ArrangeRepairs(std::move(found), SaturateToInt32(start), end)));
}

LClickRepairDialog::LClickRepairDialog(int32_t sensitivity, int32_t maxLengthUs, const LSegmentList& selection)
    : LPreviewDialog(selection),
      sensitivity_(std::clamp(sensitivity, kSensitivityMin, kSensitivityMax)),
      maxLength_(std::clamp(maxLengthUs, kMaxLengthMin, kMaxLengthMax)) {}

void LClickRepairDialog::SetSensitivity(int32_t value) {
  sensitivity_ = std::clamp(value, kSensitivityMin, kSensitivityMax);
}

void LClickRepairDialog::SetMaxLength(int32_t microseconds) {
  maxLength_ = std::clamp(microseconds, kMaxLengthMin, kMaxLengthMax);
}

LRef<LSoundStream> LClickRepairDialog::PreviewStream() const {
  LSilentProgress progress;
  std::vector<LRepairRange> ranges;
  const LClickRule rule = AutoClickRule(Selection().SampleRate(), sensitivity_, maxLength_);
  FindSelectionClicks(Selection(), 0, Selection().Length(), rule, progress, ranges);
  return LRef<LSoundStream>(MakeRef<LRangeRepairStream>(SelectionStream(), std::move(ranges)));
}

void ClickRepairCommand(LCommandContext& context) {
  int32_t sensitivity = 0;
  int32_t maxLength = 0;
  LEffectCommand command{.undoName = kClickRepairName,
                         .title = kClickDetectingTitle,
                         .after = LAfterEffect::kOneSecondPreroll};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LClickRepairDialog dialog(ctx.settings.Read(kClickSensitivity), ctx.settings.Read(kMaxClickLengthInDialog),
                              selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    sensitivity = dialog.Sensitivity();
    maxLength = dialog.MaxLength();
    ctx.settings.Write(kClickSensitivity, sensitivity);
    ctx.settings.Write(kMaxClickLength, maxLength);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunClickRepair(document, sensitivity, maxLength, progress);
  };
  RunEffectCommand(context, command);
}

void ManualClickRepairCommand(LCommandContext& context) {
  int32_t frames = 0;
  LEffectCommand command{.undoName = kManualClickName, .title = kManualClickName};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    frames = selection.Length();
    if (frames > selection.SampleRate() * 0.001) {
      ctx.ui.Message(kManualClickTooLongMessage, "Klangor", LButtons::kOk, LIcon::kError);
      return false;
    }
    return true;
  };
  RunStreamEffectCommand(context, command,
                         [&] { return LEffectTask{kManualClickName, std::make_shared<LManualClickProcessor>(frames)}; });
}

}  // namespace klangor
