#pragma once
// The tags of a file as it is opened, kept with its document (LSoundDocument::tags) so that
// saving can write them out again, and the writing of them into a saved file.

#include <string>

#include "store/tag_list.h"

namespace klangor {

// WAV files: their "LIST"/"INFO" and "DISP" chunks (formats/riff_tags.h). Others through
// FFmpeg's metadata (formats/media_tags.h); headerless and container formats without tags
// (".raw", ".snd", ".vox", ".gsm", ".dct", ".sri") give none.
LTagList ReadFileTags(const std::string& path);

// Writes `tags` into the audio file `path`, saved as `extension` (".mp3": ID3v2.3 and ID3v1;
// ".wav": RIFF INFO and DISP). Formats that carry tags in their encoder's options (Ogg
// Vorbis, FLAC) have them already; the others carry none. False when tags were due and could
// not be written.
bool WriteFileTags(const LTagList& tags, const std::string& path, const std::string& extension);

}  // namespace klangor
