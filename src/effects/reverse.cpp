#include "effects/reverse.h"

#include <algorithm>
#include <string>
#include <vector>

#include "audio/pump.h"
#include "effects/effect_command.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {

namespace {

class LReversedRange final : public LSoundFilter {
 public:
  LReversedRange(LRef<LSoundStream> source, int32_t start, int32_t end)
      : LSoundFilter(std::move(source)), end_(end), length_(std::max(end - start, 0)) {}
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return length_; }
  void Seek(int32_t frame) override { position_ = frame; }
  void Read(int32_t* frames, int32_t frameCount) override {
    const int channels = Channels();
    std::fill_n(frames, static_cast<size_t>(std::max(frameCount, 0)) * channels, 0);
    const int64_t from = std::max<int64_t>(position_, 0);
    const int64_t to = std::min<int64_t>(int64_t{position_} + frameCount, length_);
    if (from < to) {
      const auto n = static_cast<int32_t>(to - from);
      piece_.resize(static_cast<size_t>(n) * channels);
      Input().Seek(static_cast<int32_t>(end_ - to));
      Input().Read(piece_.data(), n);
      int32_t* out = frames + static_cast<size_t>(from - position_) * channels;
      for (int32_t i = 0; i < n; ++i) {
        std::copy_n(piece_.data() + static_cast<size_t>(n - 1 - i) * channels, channels,
                    out + static_cast<size_t>(i) * channels);
      }
    }
    position_ = static_cast<int32_t>(std::clamp<int64_t>(int64_t{position_} + frameCount, INT32_MIN, INT32_MAX));
  }

 private:
  int32_t end_;
  int32_t length_;
  int32_t position_ = 0;
  std::vector<int32_t> piece_;
};

// Reverse has no cancel check: the pump's question is answered "no" (the progress passes on).
class LUncancellable final : public LProgress {
 public:
  explicit LUncancellable(LProgress& progress) : progress_(progress) {}
  void SetTitle(const std::string& title) override { progress_.SetTitle(title); }
  void SetStatusLine(const std::string& text) override { progress_.SetStatusLine(text); }
  void SetProgress(int64_t done, int64_t total) override { progress_.SetProgress(done, total); }
  bool Cancelled() override { return false; }

 private:
  LProgress& progress_;
};

}  // namespace

LRef<LSoundStream> MakeReversedRange(LRef<LSoundStream> source, int32_t start, int32_t end) {
  return MakeRef<LReversedRange>(std::move(source), start, end);
}

LResult ReverseFrames(LRef<LSoundStream> source, LSoundSink& sink, int32_t start, int32_t end, LProgress& progress) {
  progress.SetStatusLine(kPleaseWaitEnglish);
  LRef<LSoundStream> reversed = MakeReversedRange(std::move(source), start, end);
  const int64_t length = reversed->Length();
  progress.SetProgress(0, std::max<int64_t>(length, 1));
  LUncancellable uncancellable(progress);
  return CopyFrames(*reversed, sink, length, uncancellable, 0, length);
}

LResult RunReverse(LSoundDocument& document, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end <= start) return LResult::kDone;
  progress.SetTitle(kReverseTitle);
  return ReplaceSelectionWith(document, [&](LSoundSink& sink) {
    return ReverseFrames(OpenSegmentStream(document.sound), sink, start, end, progress);
  });
}

void ReverseCommand(LCommandContext& context) {
  RunEffectCommand(context, {.undoName = kReverseName, .title = kReverseTitle, .run = RunReverse});
}

}  // namespace klangor
