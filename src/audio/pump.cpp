#include "audio/pump.h"

#include <algorithm>
#include <vector>

namespace klangor {
namespace {

// Copies `total` frames from the source's current position.
LResult CopyFrames(LSoundStream& source, LSoundSink& sink, int64_t total, LProgress& progress) {
  const int channels = source.Channels();
  std::vector<int32_t> buffer(static_cast<size_t>(kPumpFrames) * channels);
  int64_t done = 0;
  progress.SetProgress(0, std::max<int64_t>(total, 1));
  for (;;) {
    if (progress.Cancelled()) return LResult::kCancelled;
    if (done >= total) return LResult::kDone;
    auto piece = static_cast<int32_t>(std::min<int64_t>(total - done, kPumpFrames));
    source.Read(buffer.data(), piece);
    sink.Write(buffer.data(), piece);
    if (sink.Failed()) return LResult::kFailed;
    done += piece;
    progress.SetProgress(done, std::max<int64_t>(total, 1));
  }
}

}  // namespace

LResult PumpRange(LSoundStream& source, LSoundSink& sink, int32_t start, int32_t end,
                  LProgress& progress) {
  if (end < start) return LResult::kDone;
  progress.SetStatusLine(kPleaseWait);
  if (start > 0) source.Seek(start);
  return CopyFrames(source, sink, int64_t{end} - start, progress);
}

}  // namespace klangor
