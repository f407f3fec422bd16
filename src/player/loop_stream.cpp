#include "player/loop_stream.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace klangor {
namespace {

int32_t Saturate(int64_t value) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

int64_t LoopMsToFrames(int64_t ms, int32_t sampleRate) {
  if (sampleRate <= 0) return 0;
  return (sampleRate / 1000) * ms + (sampleRate % 1000) * ms / 1000;
}

LLoopStream::LLoopStream(LRef<LSoundStream> input, int32_t startFrame, int32_t endFrame)
    : LSoundFilter(std::move(input)), start_(std::min(startFrame, endFrame)), end_(std::max(startFrame, endFrame)) {}

void LLoopStream::Read(int32_t* frames, int32_t frameCount) {
  const size_t channels = static_cast<size_t>(Channels());
  int64_t left = frameCount;
  int64_t k = int64_t{end_} - Input().Position();
  while (k <= left) {
    if (k > 0) {
      Input().Read(frames, static_cast<int32_t>(k));
      frames += static_cast<size_t>(k) * channels;
      left -= k;
    }
    Input().Seek(start_);
    k = std::max<int64_t>(int64_t{end_} - start_, 256);
  }
  if (left > 0) Input().Read(frames, static_cast<int32_t>(left));
}

int32_t LLoopStream::Length() const { return Saturate(int64_t{end_} + 8 * int64_t{SampleRate()}); }

void LLoopStream::Seek(int32_t frame) {
  if (frame < end_) {
    Input().Seek(frame);
  } else if (end_ == start_) {
    Input().Seek(start_);
  } else {
    const int64_t span = int64_t{end_} - start_;
    Input().Seek(Saturate(start_ + (int64_t{frame} - end_) % span));
  }
}

LRef<LSoundStream> MakeLoopStream(LRef<LSoundStream> input, int64_t startMs, int64_t endMs) {
  if (!input || !input->Usable()) return input;
  const int32_t rate = input->SampleRate();
  const int32_t start = Saturate(LoopMsToFrames(startMs, rate));
  const int32_t end = Saturate(LoopMsToFrames(endMs, rate));
  return MakeRef<LLoopStream>(std::move(input), start, end);
}

}  // namespace klangor
