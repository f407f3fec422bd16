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

// Why a save failed.
enum class LSaveFailure {
  kNone,
  kCannotCreate,  // the file could not be created or written
  kNoSpace,       // refused before writing: the file would not fit into the free space
};

// Saves the stream as `path`: the sink writes a temporary file next to it, which replaces
// `path` only when the whole stream was written and finished without error. A failed or
// cancelled save leaves an existing file as it was; a file whose size is known in advance
// and would not fit on its disk is refused before anything is written. Title: "Speichere
// Datei...". `failure` (when given) tells why a failed save failed.
LResult SaveStream(LRef<LSoundStream> stream, const std::string& path, const LSinkFactory& makeSink,
                   LProgress& progress, LSaveFailure* failure = nullptr);

// The message for a failed save of `path` (for kNone an empty text).
std::string SaveFailureMessage(LSaveFailure failure, const std::string& path);

}  // namespace klangor
