#pragma once
// Tags of WAV files: the sub-chunks of a "LIST" chunk of type "INFO" ("IART" artist, "INAM"
// album, "IPRD" title when reading, "ICOP" date, "IGNR" genre, "ITRK" track number, "ICMT"
// comment) and the "DISP" chunk of text (format word 1), which holds the title.

#include <string>

#include "store/tag_list.h"

namespace klangor {

// Reads the tags of a RIFF WAVE file into `tags`; with `merge` the values already there stay.
// False when the file cannot be read or is no RIFF WAVE file.
bool ReadRiffTags(const std::string& path, LTagList& tags, bool merge);

// Writes the tags into the file after its audio: the INFO sub-chunks of the table are freed
// (their identifiers become four blanks) and reused where a value has the same length, the
// others go into a new "LIST" chunk at the end, the title into a "DISP" chunk (at most 520
// bytes in all), and the RIFF size is brought up to date. Tags only in the file are kept.
bool WriteRiffTags(const LTagList& tags, const std::string& path);

}  // namespace klangor
