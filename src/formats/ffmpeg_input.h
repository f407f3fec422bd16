#pragma once
// Opening a media file with libavformat (private to formats/): the file is named with the
// "file:" protocol, so that no name is taken for a network address or another protocol, only
// that protocol is allowed, and formats that pull in further files or addresses (playlists,
// concatenation lists) are refused.

#include <memory>
#include <string>

#include "audio/sound_stream.h"

struct AVFormatContext;

namespace klangor {

struct LFormatContextCloser {
  void operator()(AVFormatContext* context) const;
};
using LFormatContextPtr = std::unique_ptr<AVFormatContext, LFormatContextCloser>;

// The opened file, or null with `state` kCannotOpen (missing, unreadable, not a regular file)
// or kCorrupt (no format recognised). With `withStreamInfo` the streams' parameters are read.
LFormatContextPtr OpenMediaInput(const std::string& path, bool withStreamInfo, LStreamState* state);

// The index of the first audio stream, or -1.
int FirstAudioStream(const AVFormatContext& context);

}  // namespace klangor
