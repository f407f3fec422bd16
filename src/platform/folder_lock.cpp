#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace klangor {

LFolderLock::~LFolderLock() { Unlock(); }

LFolderLock::LFolderLock(LFolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

LFolderLock& LFolderLock::operator=(LFolderLock&& other) noexcept {
  if (this != &other) {
    Unlock();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool LFolderLock::TryLock(const std::string& lockFile, bool create) {
  Unlock();
  int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
  int fd = ::open(lockFile.c_str(), flags, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void LFolderLock::Unlock() {
  if (fd_ >= 0) {
    ::close(fd_);  // closing the descriptor drops the lock
    fd_ = -1;
  }
}

}  // namespace klangor
