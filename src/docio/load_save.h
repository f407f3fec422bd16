#pragma once
// Loading a file or a stream into a document, and saving a stream as a file, all through the
// processing pump under a progress object.

#include <functional>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "docio/open_context.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

// The step behind Open: "Lade Datei <name>" / "Bitte warten...", OpenAudioFile with the
// prompt flag, the file's tags (docio/file_tags.h), and the whole stream pumped into a new
// block. On success the document holds the sound (one segment with the stream's rate and
// channels), the tags and the file name.
LResult LoadAudioFile(const std::string& path, bool& prompt, LOpenContext& context, LSoundDocument& document);

// Moves the whole stream into a new block; on success `target` becomes one segment over it
// with the stream's rate and channels. Title: "Lade Datei <name>". A stream that turns
// unusable while it is read (a decoder that failed midway) fails the load.
LResult LoadStream(LRef<LSoundStream> stream, const std::string& fileName, LSegmentList& target,
                   LProgress& progress);

// The processing pump over the whole stream, also when its length is an estimate: while the
// length has grown past the position the pump goes on, and when the real length turns out
// shorter than what was written, the sink is moved back to it (Seek), so that the sink gets
// exactly the stream's frames.
LResult PumpWholeStream(const std::string& title, const LRef<LSoundStream>& stream, LSoundSink& sink,
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
// Datei...". `failure` (when given) tells why a failed save failed. `complete` (when given)
// runs on the finished temporary file before it replaces `path` (the tags are written
// there); false from it fails the save.
using LFileStep = std::function<bool(const std::string& path)>;
LResult SaveStream(LRef<LSoundStream> stream, const std::string& path, const LSinkFactory& makeSink,
                   LProgress& progress, LSaveFailure* failure = nullptr, const LFileStep& complete = {});

// The message for a failed save of `path` (for kNone an empty text).
std::string SaveFailureMessage(LSaveFailure failure, const std::string& path);

}  // namespace klangor
