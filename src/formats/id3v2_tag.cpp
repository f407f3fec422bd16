#include "formats/id3v2_tag.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

namespace klangor {

bool WriteId3v2Tag(const LTagList& tags, const std::string& path) {
  TagLib::MPEG::File file(path.c_str(), false);
  if (!file.isValid() || file.readOnly()) return false;
  TagLib::PropertyMap properties;
  for (const LTag& tag : tags.Tags()) {
    const std::string value = CleanTagValue(tag.value);
    if (value.empty()) continue;
    properties.replace(TagLib::String(tag.name, TagLib::String::UTF8),
                       TagLib::StringList(TagLib::String(value, TagLib::String::UTF8)));
  }
  file.ID3v2Tag(true)->setProperties(properties);
  return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3);
}

}  // namespace klangor
