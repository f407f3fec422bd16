#pragma once
// The descriptive tags of a sound (title, artist, ...): an ordered list of name and value
// texts kept with the document, read when a file is opened and written out when it is saved.
//
// Names are upper case words; the ones every format knows are below. Setting a name that is
// present replaces its value in place; names compare without regard to case. Values are UTF-8.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace klangor {

inline constexpr char kTagTitle[] = "TITLE";
inline constexpr char kTagArtist[] = "ARTIST";
inline constexpr char kTagAlbum[] = "ALBUM";
inline constexpr char kTagDate[] = "DATE";
inline constexpr char kTagComment[] = "COMMENT";
inline constexpr char kTagTrackNumber[] = "TRACKNUMBER";
inline constexpr char kTagGenre[] = "GENRE";

struct LTag {
  std::string name;
  std::string value;
  bool operator==(const LTag&) const = default;
};

// The longest value a tag keeps when it is written (and when it is read back).
inline constexpr size_t kMaxTagCharacters = 259;

// A value as the tag writers store it: control characters become blanks, and at most
// kMaxTagCharacters characters are kept.
std::string CleanTagValue(std::string_view value);

class LTagList {
 public:
  // Replaces the value of `name`, or appends the pair. An empty name is ignored.
  void Set(std::string_view name, std::string_view value);
  // The value of `name`; empty when it is not there.
  std::string Get(std::string_view name) const;
  bool Has(std::string_view name) const;
  void Remove(std::string_view name);

  const std::vector<LTag>& Tags() const { return tags_; }
  bool Empty() const { return tags_.empty(); }
  void Clear() { tags_.clear(); }
  bool operator==(const LTagList&) const = default;

 private:
  std::vector<LTag> tags_;
};

}  // namespace klangor
