#include "effects/dc_offset.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/pump.h"
#include "effects/effect_command.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

// The first pass: each channel's sum of the samples written.
class LChannelSumSink final : public LSoundSink {
 public:
  LChannelSumSink(int32_t sampleRate, int channels)
      : LSoundSink(sampleRate, channels), sums_(static_cast<size_t>(Channels()), 0) {}
  void Write(const int32_t* frames, int32_t frameCount) override {
    if (frameCount <= 0) return;
    if (Channels() == 2) {
      int64_t left = 0;
      int64_t right = 0;
      for (int32_t i = 0; i < frameCount; ++i) {
        left += frames[2 * i];
        right += frames[2 * i + 1];
      }
      sums_[0] += left;
      sums_[1] += right;
    } else {
      const int channels = Channels();
      for (int32_t i = 0; i < frameCount; ++i) {
        for (int c = 0; c < channels; ++c) sums_[static_cast<size_t>(c)] += frames[static_cast<size_t>(i) * channels + c];
      }
    }
    AddFramesWritten(frameCount);
  }
  void Seek(int32_t frame) override { SetFramesWritten(frame); }
  const std::vector<int64_t>& Sums() const { return sums_; }

 private:
  std::vector<int64_t> sums_;
};

// The second pass: each channel's offset subtracted from its samples, wrapping in 32 bits.
class LOffsetRemoval final : public LSoundFilter {
 public:
  LOffsetRemoval(LRef<LSoundStream> input, std::vector<int32_t> offsets)
      : LSoundFilter(std::move(input)), offsets_(std::move(offsets)) {}
  void Read(int32_t* frames, int32_t frameCount) override {
    Input().Read(frames, frameCount);
    const int channels = Channels();
    for (int32_t i = 0; i < frameCount; ++i) {
      for (int c = 0; c < channels; ++c) {
        int32_t& sample = frames[static_cast<size_t>(i) * channels + c];
        sample = static_cast<int32_t>(static_cast<uint32_t>(sample) - static_cast<uint32_t>(offsets_[static_cast<size_t>(c)]));
      }
    }
  }

 private:
  std::vector<int32_t> offsets_;
};

// The offset of each channel: its mean, truncated toward zero; a length of 0 counts as 1.
std::vector<int32_t> DcOffsets(const std::vector<int64_t>& sums, int64_t frameCount) {
  const double n = static_cast<double>(std::max<int64_t>(frameCount, 1));
  std::vector<int32_t> offsets;
  for (int64_t sum : sums) offsets.push_back(static_cast<int32_t>(std::trunc(static_cast<double>(sum) / n)));
  return offsets;
}

}  // namespace

LResult CorrectDcOffset(LRef<LSoundStream> source, LSoundSink& sink, LProgress& progress) {
  if (!source || !source->Usable() || sink.Failed() || source->Channels() != sink.Channels() ||
      source->SampleRate() != sink.SampleRate()) {
    return LResult::kFailed;
  }
  progress.SetStatusLine(kPleaseWait);
  const int64_t length = std::max<int32_t>(source->Length(), 0);
  const int64_t total = 2 * length;

  auto sums = MakeRef<LChannelSumSink>(source->SampleRate(), source->Channels());
  source->Seek(0);
  const LResult summed = CopyFrames(*source, *sums, length, progress, 0, total);
  if (summed != LResult::kDone) return summed;

  source->Seek(0);
  auto corrected = MakeRef<LOffsetRemoval>(std::move(source), DcOffsets(sums->Sums(), length));
  return CopyFrames(*corrected, sink, length, progress, length, total);
}

LResult RunDcOffset(LSoundDocument& document, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end <= start) return LResult::kDone;
  progress.SetTitle(kDcOffsetName);
  LSegmentList selection;
  document.sound.ExtractRange(start, end, selection);
  return ReplaceSelectionWith(document,
                              [&](LSoundSink& sink) { return CorrectDcOffset(OpenSegmentStream(selection), sink, progress); });
}

void DcOffsetCommand(LCommandContext& context) {
  RunEffectCommand(context, {.undoName = kDcOffsetName, .title = kDcOffsetName, .run = RunDcOffset});
}

}  // namespace klangor
