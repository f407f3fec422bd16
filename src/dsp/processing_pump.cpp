#include "dsp/processing_pump.h"

#include <algorithm>
#include <vector>

#include "audio/pump.h"
#include "audio/sample_format.h"
#include "dsp/format_adapter.h"
#include "dsp/limiter.h"

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

LResult ProcessingPump(const std::string& title, LRef<LSoundStream> source, LSoundSink& sink,
                       LProgress& progress) {
  progress.SetTitle(title);
  progress.SetStatusLine(kPleaseWait);
  progress.SetProgress(0, 1);
  if (!source || !source->Usable() || sink.Failed()) return LResult::kFailed;
  LRef<LSoundStream> adapted = MakeFormatAdapter(std::move(source), sink.SampleRate(), sink.Channels());
  // A sink whose rate the adapter cannot reach (0 or less) gets nothing rather than audio
  // it would mislabel.
  if (adapted->Channels() != sink.Channels() || adapted->SampleRate() != sink.SampleRate()) {
    return LResult::kFailed;
  }
  LRef<LSoundStream> limited = MakeLimiter(std::move(adapted), kFullScale16);
  const int64_t total = std::max<int64_t>(int64_t{limited->Length()} - limited->Position(), 0);
  return CopyFrames(*limited, sink, total, progress, 0, total);
}

}  // namespace klangor
