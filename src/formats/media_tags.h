#pragma once
// The tags of a media file as FFmpeg reads them (ID3 version 1 and 2, Vorbis comments, FLAC,
// MP4 and RIFF INFO tags, and whatever else its demuxers know), with the container's tags
// first and then those of the first audio stream. The common ones get the tag list's names
// (title, artist, album, date, comment, track number, genre); every other name is kept upper
// case; FFmpeg's technical entries (encoder, brands, creation time, ...) are left out.

#include <string>

#include "store/tag_list.h"

namespace klangor {

// Empty when the file cannot be read or carries no tags.
LTagList ReadMediaTags(const std::string& path);

}  // namespace klangor
