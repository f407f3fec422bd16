#include "store/range_process.h"

#include <algorithm>

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

LResult RepeatRangeCompact(LSegmentList& sound, int32_t s, int32_t e, int32_t count) {
  // Up to this many new segments the copies are plain segment copies.
  constexpr int64_t kMaxCopiedSegments = int64_t{1} << 20;
  if (s >= e || count <= 0) return LResult::kDone;
  LSegmentList piece;
  sound.ExtractRange(s, e, piece);
  const int64_t pieceLength = piece.Length();
  const int64_t room = int64_t{INT32_MAX} - sound.Length();
  const int64_t copies = std::min<int64_t>(count, room / pieceLength);
  if (copies * static_cast<int64_t>(piece.Segments().size()) <= kMaxCopiedSegments) {
    sound.RepeatRange(s, e, count);
    return LResult::kDone;
  }
  // The tile: the piece `perTile` times in a row, in one block.
  const int64_t perTile = std::min<int64_t>((kRepeatTileFrames + pieceLength - 1) / pieceLength, copies);
  LSegmentList tile(sound.SampleRate(), sound.Channels());
  LSilentProgress quiet;
  const LResult written = WriteBlock(sound.SampleRate(), sound.Channels(), tile, [&](LSoundSink& sink) {
    sink.ExpectFrames(perTile * pieceLength);  // refused when the disk cannot hold the tile
    if (sink.Failed()) return LResult::kFailed;
    for (int64_t i = 0; i < perTile; ++i) {
      LRef<LSoundStream> reader = OpenSegmentStream(piece);
      const LResult pumped = PumpRange(*reader, sink, 0, static_cast<int32_t>(pieceLength), quiet);
      if (pumped != LResult::kDone) return pumped;
    }
    return LResult::kDone;
  });
  if (written != LResult::kDone) return written;
  const auto tileLength = static_cast<int32_t>(perTile * pieceLength);
  LSegmentList repeated = tile;
  repeated.RepeatRange(0, tileLength, static_cast<int32_t>(copies / perTile - 1));
  LSegmentList rest;
  tile.ExtractRange(0, static_cast<int32_t>((copies % perTile) * pieceLength), rest);
  repeated.Insert(repeated.Length(), rest);
  sound.Insert(s, repeated);
  return LResult::kDone;
}

}  // namespace klangor
