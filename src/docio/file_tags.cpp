#include "docio/file_tags.h"

#include "formats/format_table.h"
#include "formats/media_tags.h"

namespace klangor {

LTagList ReadFileTags(const std::string& path) {
  const std::string extension = LowerExtension(path);
  for (const char* untagged : {"raw", "snd", "vox", "gsm", "dct", "sri"}) {
    if (extension == untagged) return {};
  }
  return ReadMediaTags(path);
}

}  // namespace klangor
