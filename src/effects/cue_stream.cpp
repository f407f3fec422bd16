#include "effects/cue_stream.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace klangor {

LCueStream::LCueStream(LRef<LGrainStretchStream> grain, int32_t start, int32_t length, double secondSpeed)
    : LSoundFilter(grain), grain_(grain.Get()), length_(length), start_(start), secondSpeed_(secondSpeed) {}

void LCueStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  if (frameCount > 0) started_ = true;
}

int32_t LCueStream::Position() const {
  if (!started_) return start_;
  return static_cast<int32_t>(std::clamp<int64_t>(grain_->SourcePosition(), std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

void LCueStream::Seek(int32_t frame) {
  // The grain stretch counts frames at its second speed when that is positive.
  const double scaled = secondSpeed_ > 0.0 ? std::trunc(frame / secondSpeed_) : frame;
  grain_->Seek(static_cast<int32_t>(std::clamp<double>(scaled, std::numeric_limits<int32_t>::min(),
                                                       std::numeric_limits<int32_t>::max())));
  start_ = frame;
  started_ = false;
}

LRef<LSoundStream> MakeCueStream(LRef<LSoundStream> reader, double firstSpeed, double secondSpeed, int32_t rampMs) {
  if (!reader || !reader->Usable()) return reader;
  const int32_t start = reader->Position();
  const int32_t length = reader->Length();
  auto grain = MakeRef<LGrainStretchStream>(std::move(reader), firstSpeed, secondSpeed, rampMs);
  return MakeRef<LCueStream>(std::move(grain), start, length, secondSpeed);
}

}  // namespace klangor
