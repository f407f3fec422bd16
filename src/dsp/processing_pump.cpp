#include "dsp/processing_pump.h"

#include <algorithm>

#include "audio/pump.h"
#include "audio/sample_format.h"
#include "dsp/format_adapter.h"
#include "dsp/limiter.h"
#include "dsp/stored_view.h"

namespace klangor {

LResult ProcessingPump(const std::string& title, LRef<LSoundStream> source, LSoundSink& sink,
                       LProgress& progress) {
  progress.SetTitle(title);
  progress.SetStatusLine(kPleaseWait);
  progress.SetProgress(0, 1);
  if (sink.Failed()) return LResult::kFailed;
  const LSoundStream* origin = source.Get();  // kept alive by the chain built on it
  LRef<LSoundStream> limited = MakeProcessedStream(std::move(source), sink.SampleRate(), sink.Channels());
  if (!limited) return LResult::kFailed;
  const int64_t start = limited->Position();
  int64_t end = limited->Length();
  const int64_t total = std::max<int64_t>(end - start, 0);
  // The sink learns the length before the first write; one that cannot hold it refuses.
  sink.ExpectFrames(total);
  if (sink.Failed()) return LResult::kFailed;
  LResult result = CopyFrames(*limited, sink, total, progress, 0, total);
  // An estimated length (a compressed file without a frame count) grows while it is read: the
  // same chain goes on, since the adapter and the limiter hold frames they have read ahead.
  while (result == LResult::kDone && origin->Usable()) {
    const int64_t grown = limited->Length();
    if (grown <= end || end < start) break;
    result = CopyFrames(*limited, sink, grown - end, progress, end - start, grown - start);
    end = grown;
  }
  return result;
}

LRef<LSoundStream> MakeProcessedStream(LRef<LSoundStream> source, int32_t sampleRate, int channels) {
  if (!source || !source->Usable()) return {};
  LRef<LSoundStream> adapted = MakeFormatAdapter(std::move(source), sampleRate, channels);
  // A rate the adapter cannot reach (0 or less) gets nothing rather than audio it would
  // mislabel.
  if (adapted->Channels() != channels || adapted->SampleRate() != sampleRate) return {};
  return MakeLimiter(std::move(adapted), kFullScale16);
}

LRef<LSoundStream> MakePumpedStream(LRef<LSoundStream> source, int32_t sampleRate, int channels) {
  LRef<LSoundStream> processed = MakeProcessedStream(std::move(source), sampleRate, channels);
  if (!processed) return {};
  const int32_t length = processed->Length();
  return LRef<LSoundStream>(MakeRef<LStoredView>(std::move(processed), length));
}

}  // namespace klangor
