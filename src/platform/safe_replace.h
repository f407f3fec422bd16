#pragma once
// Replacing a file so that a failure never destroys what was there: the new contents go to
// a temporary file ".NAME.klangor-XXXXXX" in the same folder (created exclusively), which
// replaces the target in one rename only when the caller commits. Without a commit the
// temporary file is removed. While it is being written the temporary file carries an flock;
// temporary files of the same target that carry none and are older than a minute were left
// by a process killed while saving, and are removed when the next replace begins.

#include <string>

namespace klangor {

enum class LSyncMode {
  kWhenReplacing,  // flush to disk only when an existing file is replaced (large audio files)
  kAlways,         // the new contents are on disk when Commit returns (settings, small data)
};

class LSafeReplace {
 public:
  explicit LSafeReplace(std::string target, LSyncMode sync = LSyncMode::kWhenReplacing);
  ~LSafeReplace();
  LSafeReplace(const LSafeReplace&) = delete;
  LSafeReplace& operator=(const LSafeReplace&) = delete;

  // False when no temporary file could be created next to the target.
  bool Ready() const { return !tempPath_.empty(); }
  const std::string& TempPath() const { return tempPath_; }
  const std::string& Target() const { return target_; }

  // Flushes the temporary file to disk (see LSyncMode), gives it the permissions of the file
  // it replaces, and renames it over the target. False (and the target untouched) on any
  // failure.
  bool Commit();

 private:
  static void RemoveLeftovers(const std::string& folder, const std::string& prefix);

  std::string target_;
  std::string tempPath_;
  int lockFd_ = -1;
  LSyncMode sync_;
  bool committed_ = false;
};

}  // namespace klangor
