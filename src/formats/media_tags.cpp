#include "formats/media_tags.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <cctype>
#include <strings.h>

#include "formats/ffmpeg_input.h"

namespace klangor {
namespace {

constexpr size_t kMaxValueBytes = 65535;

struct LNameMap {
  const char* ffmpeg;
  const char* tag;
};

constexpr LNameMap kNames[] = {
    {"title", kTagTitle}, {"artist", kTagArtist},   {"album", kTagAlbum},          {"date", kTagDate},
    {"year", kTagDate},   {"comment", kTagComment}, {"track", kTagTrackNumber},    {"genre", kTagGenre},
    {"description", kTagComment},
};

constexpr const char* kTechnical[] = {"encoder",      "major_brand", "minor_version", "compatible_brands",
                                      "creation_time", "handler_name", "vendor_id",   "language",
                                      "duration",      "encoder_options", "timecode",   "TLEN"};

bool EqualsIgnoringCase(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

// A value cut to kMaxValueBytes at a character boundary of its UTF-8.
std::string Bounded(const char* value) {
  std::string text(value);
  if (text.size() <= kMaxValueBytes) return text;
  size_t end = kMaxValueBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

void AddTags(const AVDictionary* dictionary, LTagList& tags) {
  const AVDictionaryEntry* entry = nullptr;
  while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
    if (entry->key == nullptr || entry->value == nullptr || entry->value[0] == '\0') continue;
    bool technical = false;
    for (const char* name : kTechnical) technical = technical || EqualsIgnoringCase(entry->key, name);
    if (technical) continue;
    std::string name;
    for (const LNameMap& map : kNames) {
      if (EqualsIgnoringCase(entry->key, map.ffmpeg)) name = map.tag;
    }
    if (name.empty()) {
      for (const char* c = entry->key; *c != '\0'; ++c) name += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    }
    // The first value of a name counts (a container's date before a stream's year).
    if (tags.Has(name)) continue;
    std::string value = Bounded(entry->value);
    // "3/12" keeps the track's own number.
    if (name == kTagTrackNumber) value = value.substr(0, value.find('/'));
    tags.Set(name, value);
  }
}

}  // namespace

LTagList ReadMediaTags(const std::string& path) {
  LTagList tags;
  LStreamState state;
  LFormatContextPtr input = OpenMediaInput(path, false, &state);
  if (!input) return tags;
  AddTags(input->metadata, tags);
  const int audio = FirstAudioStream(*input);
  if (audio >= 0) AddTags(input->streams[audio]->metadata, tags);
  return tags;
}

}  // namespace klangor
