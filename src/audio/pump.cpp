#include "audio/pump.h"

#include <algorithm>
#include <vector>

namespace klangor {

LResult CopyFrames(LSoundStream& source, LSoundSink& sink, int64_t frameCount, LProgress& progress,
                   int64_t progressBase, int64_t progressTotal) {
  std::vector<int32_t> buffer(static_cast<size_t>(kPumpFrames) * source.Channels());
  progressTotal = std::max<int64_t>(progressTotal, 1);
  int64_t done = 0;
  for (;;) {
    if (progress.Cancelled()) return LResult::kCancelled;
    if (done >= frameCount) return LResult::kDone;
    const auto piece = static_cast<int32_t>(std::min<int64_t>(frameCount - done, kPumpFrames));
    source.Read(buffer.data(), piece);
    sink.Write(buffer.data(), piece);
    if (sink.Failed()) return LResult::kFailed;
    done += piece;
    progress.SetProgress(progressBase + done, progressTotal);
  }
}

LResult PumpRange(LSoundStream& source, LSoundSink& sink, int32_t start, int32_t end, LProgress& progress) {
  if (end < start) return LResult::kDone;
  progress.SetStatusLine(kPleaseWait);
  source.Seek(start);
  const int64_t total = int64_t{end} - start;
  progress.SetProgress(0, std::max<int64_t>(total, 1));
  return CopyFrames(source, sink, total, progress, 0, total);
}

}  // namespace klangor
