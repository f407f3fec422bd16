#pragma once
// The ID3 version 1 tag: the last 128 bytes of an MP3 file ("TAG", title, artist and album of
// 30 bytes, year of 4, comment of 30 whose last byte is the track number when the byte before
// it is 0, genre number). Text is ISO 8859-1, padded with zero bytes.

#include <cstdint>
#include <string>

#include "store/tag_list.h"

namespace klangor {

inline constexpr int kId3v1GenreCount = 148;  // 0 "Blues" .. 147 "Synthpop"

// The genre number of `name` (ignoring case; the last of equal names), or -1.
int Id3v1GenreNumber(const std::string& name);

// Overwrites the file's ID3v1 tag in place, or appends one when it has none. Values are
// converted to ISO 8859-1 ("?" for what it cannot hold) and cut to their fields; an empty or
// unknown genre keeps the genre byte. False when the file cannot be read or written.
bool WriteId3v1Tag(const LTagList& tags, const std::string& path);

}  // namespace klangor
