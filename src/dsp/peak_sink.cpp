#include "dsp/peak_sink.h"

#include <algorithm>

#include "dsp/fixed_point.h"

namespace klangor {

void LPeakSink::Write(const int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  peak_ = std::max(peak_, PeakOf(frames, static_cast<size_t>(frameCount) * Channels()));
  AddFramesWritten(frameCount);
}

}  // namespace klangor
