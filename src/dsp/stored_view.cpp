#include "dsp/stored_view.h"

#include <algorithm>

#include "audio/sample_format.h"

namespace klangor {

LStoredView::LStoredView(LRef<LSoundStream> result, int32_t length)
    : LSoundFilter(std::move(result)), length_(std::max(length, 0)), position_(Input().Position()) {
  SetFullScale(kDocumentFullScale);
}

void LStoredView::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  // The input is read only below the length; what lies after it is silence.
  const int64_t inside = std::clamp<int64_t>(int64_t{length_} - position_, 0, frameCount);
  if (inside > 0) Input().Read(frames, static_cast<int32_t>(inside));
  std::fill(frames + inside * Channels(), frames + int64_t{frameCount} * Channels(), 0);
  position_ = static_cast<int32_t>(std::min<int64_t>(int64_t{position_} + frameCount, INT32_MAX));
}

void LStoredView::Seek(int32_t frame) {
  Input().Seek(frame);
  position_ = frame;
}

bool LStoredView::StaysWithin(int32_t frameCount, int32_t largest, int32_t smallest) const {
  // Silence after the end lies within any range around zero.
  const int64_t inside = std::clamp<int64_t>(int64_t{length_} - position_, 0, frameCount);
  if (inside < frameCount && (largest < 0 || smallest > 0)) return false;
  return inside == 0 || Input().StaysWithin(static_cast<int32_t>(inside), largest, smallest);
}

}  // namespace klangor
