#pragma once
// Processing a document's selection: the selected frames are copied (as segments) into a
// piece, a stream over the piece is passed through the processing chain, the output is
// written into a new block, and only when that finished without error or cancel does it
// replace the selection. The caller records the undo step first.

#include <functional>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "store/block_writer.h"
#include "store/sound_document.h"

namespace klangor {

// Builds the processed stream from a reader over the selection.
using LStreamChain = std::function<LRef<LSoundStream>(LRef<LSoundStream> input)>;

// Replaces the document's selection by the frames `fill` writes into a new block of the sound's
// rate and channels; the document is unchanged unless that completed. The selection then ends
// after the new frames.
LResult ReplaceSelectionWith(LSoundDocument& document, const LBlockFill& fill);

// Repeats frames [s, e) of `sound` as LSegmentList::RepeatRange does (the range then occurs
// count + 1 times in a row). A short range repeated very often would need one segment per
// copy, billions for a one-frame loop; such a range is first written out, repeated, into a new
// block of at least kRepeatTileFrames frames, and the copies of that block stand for many
// copies each. Failed (and `sound` unchanged) when that block could not be written.
inline constexpr int32_t kRepeatTileFrames = 65536;
LResult RepeatRangeCompact(LSegmentList& sound, int32_t s, int32_t e, int32_t count);

// Replaces the selection by its processed version; an empty selection is done at once.
// On success the selection covers the new audio.
LResult ProcessSelection(LSoundDocument& document, const LStreamChain& chain, LProgress& progress);

}  // namespace klangor
