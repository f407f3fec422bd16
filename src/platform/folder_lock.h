#pragma once
// An advisory lock on a file, held while the object lives (flock). Used to mark a folder as
// owned by a running process: the lock vanishes with the process, even after a crash.

#include <string>

namespace klangor {

class LFolderLock {
 public:
  LFolderLock() = default;
  ~LFolderLock();
  LFolderLock(LFolderLock&& other) noexcept;
  LFolderLock& operator=(LFolderLock&& other) noexcept;
  LFolderLock(const LFolderLock&) = delete;
  LFolderLock& operator=(const LFolderLock&) = delete;

  // Takes the lock on `lockFile` without waiting; false when another process holds it or the
  // file cannot be opened. With `create`, a missing file is created.
  bool TryLock(const std::string& lockFile, bool create = true);
  bool Held() const { return fd_ >= 0; }
  void Unlock();

 private:
  int fd_ = -1;
};

}  // namespace klangor
