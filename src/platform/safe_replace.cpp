#include "platform/safe_replace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
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
  const std::string prefix = "." + name + suffix.substr(0, suffix.size() - 6);
  RemoveLeftovers(FolderOf(target_), prefix);
  std::string pattern = JoinPath(FolderOf(target_), prefix + "XXXXXX");
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) return;
  // The lock says "being written" to other processes for as long as this object lives.
  ::flock(fd, LOCK_EX);
  lockFd_ = fd;
  tempPath_ = buffer.data();
}

LSafeReplace::~LSafeReplace() {
  if (!committed_ && !tempPath_.empty()) RemoveFile(tempPath_);
  if (lockFd_ >= 0) ::close(lockFd_);
}

// Temporary files of the same target left by a process that was killed while writing: no
// lock on them, and untouched for a minute (a file just created may not be locked yet).
void LSafeReplace::RemoveLeftovers(const std::string& folder, const std::string& prefix) {
  constexpr time_t kLeftoverSeconds = 60;
  for (const std::string& entry : ListFolder(folder)) {
    if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string path = JoinPath(folder, entry);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_mtime + kLeftoverSeconds < ::time(nullptr) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
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
  ::close(lockFd_);
  lockFd_ = -1;
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
