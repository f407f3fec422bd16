#include "audio/pump.h"

#include <algorithm>
#include <vector>

#include "audio/sample_format.h"

namespace klangor {
namespace {

// Copies `total` frames from the source's current position. `limit` above 0 saturates the
// samples to that magnitude on the way (the stand-in for the output limiter).
LResult CopyFrames(LSoundStream& source, LSoundSink& sink, int64_t total, int32_t limit,
                   LProgress& progress) {
  const int channels = source.Channels();
  std::vector<int32_t> buffer(static_cast<size_t>(kPumpFrames) * channels);
  int64_t done = 0;
  progress.SetProgress(0, std::max<int64_t>(total, 1));
  for (;;) {
    if (progress.Cancelled()) return LResult::kCancelled;
    if (done >= total) return LResult::kDone;
    auto piece = static_cast<int32_t>(std::min<int64_t>(total - done, kPumpFrames));
    source.Read(buffer.data(), piece);
    if (limit > 0) ClampSamples(buffer.data(), static_cast<size_t>(piece) * channels, limit);
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
  return CopyFrames(source, sink, int64_t{end} - start, 0, progress);
}

LResult PumpStream(const std::string& title, LSoundStream& source, LSoundSink& sink,
                   LProgress& progress) {
  progress.SetTitle(title);
  progress.SetStatusLine(kPleaseWait);
  progress.SetProgress(0, 1);
  if (!source.Usable() || sink.Failed()) return LResult::kFailed;
  // Until the format adapter exists, a source must already match its sink.
  if (source.Channels() != sink.Channels()) return LResult::kFailed;
  int32_t limit = source.FullScale() > kFullScale16 ? kFullScale16 : 0;
  int64_t total = std::max<int64_t>(int64_t{source.Length()} - source.Position(), 0);
  return CopyFrames(source, sink, total, limit, progress);
}

}  // namespace klangor
