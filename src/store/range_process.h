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

// Replaces the selection by its processed version; an empty selection is done at once.
// On success the selection covers the new audio.
LResult ProcessSelection(LSoundDocument& document, const LStreamChain& chain, LProgress& progress);

}  // namespace klangor
