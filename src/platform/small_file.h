#pragma once
// Reading and replacing the program's small text and data files (settings, key bindings).
//
// Reading never blocks and never takes more than a bounded amount of memory: only regular
// files are read (a FIFO or device in the file's place reads as unreadable), and a file above
// the size limit is refused rather than read in part. Replacing goes through a temporary file
// that is on disk before it is renamed over the old one, so the old file stays whole when the
// write fails for any reason (full disk, crash, missing folder).

#include <cstdint>
#include <string>

namespace klangor {

// Larger files are not read; settings and key files stay far below this.
inline constexpr int64_t kMaxSmallFileBytes = 4 * 1024 * 1024;

enum class LReadStatus {
  kRead,        // contents hold the whole file
  kMissing,     // there is no file of that name
  kUnreadable,  // it exists but cannot be read: not a regular file, no access, too large
};

LReadStatus ReadSmallFile(const std::string& path, std::string* contents,
                          int64_t maxBytes = kMaxSmallFileBytes);

// Replaces (or creates) `path` with `contents`; the data is on disk when it returns true.
// A new file gets `newFileMode` (masked by the umask); an existing one keeps its mode.
bool ReplaceSmallFile(const std::string& path, const std::string& contents,
                      unsigned newFileMode = 0666);

}  // namespace klangor
