#include "docio/file_tags.h"

#include "formats/format_table.h"
#include "formats/id3v1_tag.h"
#include "formats/id3v2_tag.h"
#include "formats/media_tags.h"
#include "formats/riff_tags.h"

namespace klangor {

LTagList ReadFileTags(const std::string& path) {
  const std::string extension = LowerExtension(path);
  for (const char* untagged : {"raw", "snd", "vox", "gsm", "dct", "sri"}) {
    if (extension == untagged) return {};
  }
  if (extension == "wav") {
    LTagList tags;
    if (ReadRiffTags(path, tags, false)) return tags;
  }
  return ReadMediaTags(path);
}

bool WriteFileTags(const LTagList& tags, const std::string& path, const std::string& extension) {
  const std::string ext = LowerExtension("x" + extension);
  if (tags.Empty()) return true;
  if (ext == "mp3") {
    const bool v2 = WriteId3v2Tag(tags, path);
    return WriteId3v1Tag(tags, path) && v2;
  }
  if (ext == "wav") return WriteRiffTags(tags, path);
  return true;
}

}  // namespace klangor
