#include "platform/safe_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"

namespace klangor {

LSafeReplace::LSafeReplace(std::string target, LSyncMode sync)
    : target_(std::move(target)), sync_(sync) {
  // The temporary name adds 16 bytes to the target's; a target name near the file system's
  // limit of 255 bytes for one name is shortened for it (at a character boundary).
  constexpr size_t kMaxNameBytes = 255;
  const std::string suffix = ".klangor-XXXXXX";
  std::string name = FileNameOf(target_);
  if (name.size() + 1 + suffix.size() > kMaxNameBytes) {
    name.resize(kMaxNameBytes - 1 - suffix.size());
    auto last = [&] { return static_cast<unsigned char>(name.back()); };
    while (!name.empty() && (last() & 0xC0) == 0x80) name.pop_back();  // continuation bytes
    if (!name.empty() && last() >= 0xC0) name.pop_back();                // their lead byte
  }
  std::string pattern = JoinPath(FolderOf(target_), "." + name + suffix);
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) return;
  ::close(fd);
  tempPath_ = buffer.data();
}

LSafeReplace::~LSafeReplace() {
  if (!committed_ && !tempPath_.empty()) RemoveFile(tempPath_);
}

bool LSafeReplace::Commit() {
  if (tempPath_.empty() || committed_) return false;
  {
    LFile file = LFile::Open(tempPath_, LFileMode::kReadWrite);
    if (!file.IsOpen()) return false;
    // When a file is replaced, the new data must be on disk before the rename, or a crash
    // could leave neither version. The new file keeps the permissions of the old one; a new
    // file gets the usual permissions for the user's umask instead of mkstemp's 0600.
    struct stat old;
    mode_t mode;
    const bool replacing = ::stat(target_.c_str(), &old) == 0;
    if ((replacing || sync_ == LSyncMode::kAlways) && !file.Sync()) return false;
    if (replacing) {
      mode = old.st_mode & 07777;
    } else {
      mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    ::fchmod(file.Descriptor(), mode);
  }
  if (::rename(tempPath_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  int folder = sync_ == LSyncMode::kAlways
                   ? ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                   : -1;
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

}  // namespace klangor
