#pragma once
// Running a stream effect over a document's selection: the processor's stream is built over
// a reader of the whole document standing at the selection start (where the modulated delays
// have phase 0), the selected frames are pumped into a new block, and only when that
// completed do they replace the selection. Cancel or failure leave the sound as it was.

#include "audio/progress.h"
#include "audio/result.h"
#include "effects/effect.h"
#include "store/sound_document.h"

namespace klangor {

// The run operation of an effect task. A selection whose end lies before its start is done
// at once without change.
LResult RunStreamEffect(LSoundDocument& document, const LEffectTask& task, LProgress& progress);

// The task's result over the whole of `source` (a whole sound at frame 0, its length fixed),
// as RunStreamEffect writes it over a document that holds that sound, seen as the document
// reads it back. Nothing where the run would fail.
LRef<LSoundStream> StreamEffectResult(const LEffectTask& task, LRef<LSoundStream> source);

}  // namespace klangor
