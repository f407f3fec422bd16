#include "formats/id3v1_tag.h"

#include <taglib/id3v1genres.h>
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/file.h"
#include "platform/text.h"

namespace klangor {
namespace {

constexpr int64_t kTagBytes = 128;

// Copies `value` into the field at `at` of `width` bytes, zero-padded.
void PutField(uint8_t* tag, int at, int width, const std::string& value) {
  const std::string latin = Utf8ToLatin1(CleanTagValue(value));
  std::memset(tag + at, 0, static_cast<size_t>(width));
  std::memcpy(tag + at, latin.data(), std::min<size_t>(latin.size(), static_cast<size_t>(width)));
}

}  // namespace

int Id3v1GenreNumber(const std::string& name) {
  int found = -1;
  for (int i = 0; i < kId3v1GenreCount; ++i) {
    if (::strcasecmp(TagLib::ID3v1::genre(i).toCString(false), name.c_str()) == 0) found = i;
  }
  return found;
}

bool WriteId3v1Tag(const LTagList& tags, const std::string& path) {
  LFile file = LFile::Open(path, LFileMode::kReadWrite);
  if (!file.IsOpen()) return false;
  const int64_t size = file.Size();
  uint8_t tag[kTagBytes] = {};
  int64_t at = size;
  if (size >= kTagBytes && file.ReadAt(size - kTagBytes, tag, kTagBytes) == kTagBytes &&
      std::memcmp(tag, "TAG", 3) == 0) {
    at = size - kTagBytes;
  } else {
    std::memset(tag, 0, sizeof tag);
  }
  std::memcpy(tag, "TAG", 3);
  PutField(tag, 3, 30, tags.Get(kTagTitle));
  PutField(tag, 33, 30, tags.Get(kTagArtist));
  PutField(tag, 63, 30, tags.Get(kTagAlbum));
  PutField(tag, 93, 4, tags.Get(kTagDate));
  PutField(tag, 97, 30, tags.Get(kTagComment));
  if (const std::optional<int32_t> track = LeadingIntOfText(tags.Get(kTagTrackNumber));
      track && *track >= 1 && *track <= 255) {
    tag[125] = 0;
    tag[126] = static_cast<uint8_t>(*track);
  }
  const std::string genre = tags.Get(kTagGenre);
  if (!genre.empty()) {
    if (genre[0] >= '0' && genre[0] <= '9') {
      const int32_t number = SaturatingIntOfText(genre);
      if (number <= 255) tag[127] = static_cast<uint8_t>(number);
    } else if (const int number = Id3v1GenreNumber(genre); number >= 0) {
      tag[127] = static_cast<uint8_t>(number);
    }
  }
  return file.WriteAt(at, tag, kTagBytes);
}

}  // namespace klangor
