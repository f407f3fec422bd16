#include "effects/stream_effect.h"

#include "audio/pump.h"
#include "store/block_writer.h"
#include "store/segment_stream.h"

namespace klangor {

LResult RunStreamEffect(LSoundDocument& document, const LEffectTask& task, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end < start) return LResult::kDone;
  progress.SetTitle(task.name);
  LRef<LSoundStream> stream = task.processor->MakeStream(OpenSegmentStream(document.sound));
  if (!stream || !stream->Usable() || stream->Channels() != document.sound.Channels()) {
    return LResult::kFailed;
  }
  LSegmentList result;
  auto writer = MakeRef<LBlockWriter>(document.sound.SampleRate(), result, document.sound.Channels());
  LResult outcome = PumpRange(*stream, *writer, start, end, progress);
  writer->Finish();
  if (outcome == LResult::kDone && writer->Failed()) outcome = LResult::kFailed;
  if (outcome != LResult::kDone) return outcome;
  document.sound.ReplaceRange(start, end, result);
  document.LengthChanged();
  return LResult::kDone;
}

}  // namespace klangor
