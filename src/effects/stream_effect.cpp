#include "effects/stream_effect.h"

#include "audio/pump.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {

LResult RunStreamEffect(LSoundDocument& document, const LEffectTask& task, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end < start) return LResult::kDone;
  progress.SetTitle(task.name);
  // The effect's stream is made at the selection start: effects whose course depends on
  // the frame position (the modulated delays) begin there.
  LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
  reader->Seek(start);
  LRef<LSoundStream> stream = task.processor->MakeStream(std::move(reader));
  if (!stream || !stream->Usable() || stream->Channels() != document.sound.Channels()) {
    return LResult::kFailed;
  }
  return ReplaceSelectionWith(document, [&](LSoundSink& sink) { return PumpRange(*stream, sink, start, end, progress); });
}

}  // namespace klangor
