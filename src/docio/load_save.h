#pragma once
// Loading a stream into a segment list, and saving a stream as a file, both through the
// processing pump under a progress object.

#include <functional>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "store/segment_list.h"

namespace klangor {

// Moves the whole stream into a new block; on success `target` becomes one segment over it
// with the stream's rate and channels. Title: "Lade Datei <name>".
LResult LoadStream(LRef<LSoundStream> stream, const std::string& fileName, LSegmentList& target,
                   LProgress& progress);

// Makes the sink that writes a file at `path`.
using LSinkFactory = std::function<LRef<LSoundSink>(const std::string& path)>;

// Saves the stream as `path`: the sink writes a temporary file next to it, which replaces
// `path` only when the whole stream was written and finished without error. A failed or
// cancelled save leaves an existing file as it was. Title: "Speichere Datei...".
LResult SaveStream(LRef<LSoundStream> stream, const std::string& path, const LSinkFactory& makeSink,
                   LProgress& progress);

}  // namespace klangor
