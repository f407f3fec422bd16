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
  LSegmentList result;
  LResult outcome = LResult::kFailed;
  if (processed && processed->Usable()) {
    auto writer = MakeRef<LBlockWriter>(processed->SampleRate(), result, processed->Channels());
    outcome = PumpRange(*processed, *writer, 0, processed->Length(), progress);
    writer->Finish();
    if (writer->Failed() && outcome == LResult::kDone) outcome = LResult::kFailed;
  }
  if (outcome == LResult::kDone) {
    document.sound.ReplaceRange(s, e, result);
    document.selectionEnd = s + result.Length();
    document.LengthChanged();
  }
  return outcome;
}

}  // namespace klangor
