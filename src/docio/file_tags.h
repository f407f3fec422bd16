#pragma once
// The tags of a file as it is opened, kept with its document (LSoundDocument::tags) so that
// saving can write them out again.

#include <string>

#include "store/tag_list.h"

namespace klangor {

// Through FFmpeg's metadata (formats/media_tags.h); headerless and container formats without
// tags (".raw", ".snd", ".vox", ".gsm", ".dct", ".sri") give none.
LTagList ReadFileTags(const std::string& path);

}  // namespace klangor
