#include "store/range_process.h"

#include "audio/pump.h"
#include "store/block_writer.h"
#include "store/segment_stream.h"

namespace klangor {

LResult ProcessSelection(LSoundDocument& document, const LStreamChain& chain, LProgress& progress) {
  const int32_t s = document.selectionStart;
  const int32_t e = document.selectionEnd;
  if (e <= s) return LResult::kDone;
  LSegmentList piece;
  document.sound.ExtractRange(s, e, piece);
  LRef<LSoundStream> processed = chain(OpenSegmentStream(piece));
  if (!processed || !processed->Usable()) return LResult::kFailed;
  LSegmentList result;
  const LResult outcome = WriteBlock(processed->SampleRate(), processed->Channels(), result, [&](LSoundSink& sink) {
    return PumpRange(*processed, sink, 0, processed->Length(), progress);
  });
  if (outcome == LResult::kDone) {
    document.sound.ReplaceRange(s, e, result);
    document.selectionEnd = s + result.Length();
    document.LengthChanged();
  }
  return outcome;
}

LResult ReplaceSelectionWith(LSoundDocument& document, const LBlockFill& fill) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  LSegmentList result;
  const LResult outcome = WriteBlock(document.sound.SampleRate(), document.sound.Channels(), result, fill);
  if (outcome != LResult::kDone) return outcome;
  document.sound.ReplaceRange(start, end, result);
  document.selectionEnd = start + result.Length();
  document.LengthChanged();
  return LResult::kDone;
}

}  // namespace klangor
