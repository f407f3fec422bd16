#pragma once
// A bookmark: a named position in a sound, kept in its document's list (sorted by position).

#include <cstdint>
#include <string>

namespace klangor {

struct LBookmark {
  std::string name;      // unique among the bookmarks of all open documents
  std::string fileName;  // the owning document's file name without its folder
  int32_t positionMs = 0;
  uint8_t useCount = 1;  // 1 when set, 1 more with each visit (wraps at 255)
  int32_t lastUsed = 0;  // seconds since 1970 of setting or the last visit; 0 when unknown
};

}  // namespace klangor
