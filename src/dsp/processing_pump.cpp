#include "dsp/processing_pump.h"

#include <algorithm>

#include "audio/pump.h"
#include "audio/sample_format.h"
#include "dsp/format_adapter.h"
#include "dsp/limiter.h"

namespace klangor {

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
  // The sink learns the length before the first write; one that cannot hold it refuses.
  sink.ExpectFrames(total);
  if (sink.Failed()) return LResult::kFailed;
  return CopyFrames(*limited, sink, total, progress, 0, total);
}

}  // namespace klangor
