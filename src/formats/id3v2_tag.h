#pragma once
// The ID3 version 2.3 tag at the start of an MP3 file, written through TagLib: every tag of
// the list (the common ones in their own frames, the others as user text frames). Other tags
// of the file (ID3v1, APE) are removed; an ID3v1 tag is written afterwards (id3v1_tag.h).

#include <string>

#include "store/tag_list.h"

namespace klangor {

// False when the file cannot be read or written as MP3.
bool WriteId3v2Tag(const LTagList& tags, const std::string& path);

}  // namespace klangor
