#pragma once
// The list files saved with an MP3 file next to them (".m3u", ".pls", ".wpl", ".rss"): one
// entry that points to the MP3 file under the root URL ("RSSEncode"/"RootURL").

#include <cstdint>
#include <string>

namespace klangor {

struct LListEntry {
  std::string title;     // the list file's name without folder and extension
  std::string mp3Name;   // the MP3 file's name without folder
  std::string rootUrl;   // may be empty
  int64_t seconds = 0;   // whole seconds of the sound
  int64_t mp3Bytes = 0;  // the MP3 file's size
};

// The text of the list file for `extension` (".m3u", ".pls", ".wpl", ".rss"; empty for any
// other). The file name is percent-encoded in the URL; ".wpl" and ".rss" escape their text
// for XML.
std::string ListFileText(const std::string& extension, const LListEntry& entry);

}  // namespace klangor
