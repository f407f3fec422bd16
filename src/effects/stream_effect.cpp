#include "effects/stream_effect.h"

#include "audio/pump.h"
#include "dsp/stored_view.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

// The effect's stream over `reader`, nothing when it cannot give the reader's channels.
LRef<LSoundStream> EffectStream(const LEffectTask& task, LRef<LSoundStream> reader) {
  const int channels = reader->Channels();
  LRef<LSoundStream> stream = task.processor->MakeStream(std::move(reader));
  if (!stream || !stream->Usable() || stream->Channels() != channels) return {};
  return stream;
}

}  // namespace

LResult RunStreamEffect(LSoundDocument& document, const LEffectTask& task, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end < start) return LResult::kDone;
  progress.SetTitle(task.name);
  // The effect's stream is made at the selection start: effects whose course depends on
  // the frame position (the modulated delays) begin there.
  LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
  reader->Seek(start);
  LRef<LSoundStream> stream = EffectStream(task, std::move(reader));
  if (!stream) return LResult::kFailed;
  return ReplaceSelectionWith(document, [&](LSoundSink& sink) { return PumpRange(*stream, sink, start, end, progress); });
}

LRef<LSoundStream> StreamEffectResult(const LEffectTask& task, LRef<LSoundStream> source) {
  const int32_t length = source->Length();
  LRef<LSoundStream> stream = EffectStream(task, std::move(source));
  if (!stream) return {};
  stream->Seek(0);  // as the run's pump does
  return LRef<LSoundStream>(MakeRef<LStoredView>(std::move(stream), length));
}

}  // namespace klangor
