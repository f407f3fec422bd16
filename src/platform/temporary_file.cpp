#include "platform/temporary_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

#include "platform/paths.h"

namespace klangor {
namespace {

constexpr int kMaxNumber = 9999;

// Opens and locks `lockPath` without waiting; -1 when another process holds it, when it is a
// link, or when it vanished while we locked it (its holder removed it on the way out).
int TakeLock(const std::string& lockPath) {
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat opened;
  struct stat named;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0 || ::lstat(lockPath.c_str(), &named) != 0 ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

LTemporaryFile::LTemporaryFile(const std::string& role) {
  static std::atomic<unsigned> counter{0};
  const std::string folder = TemporaryFolder();
  if (folder.empty()) return;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = JoinPath(folder, role + "-" + std::to_string(::getpid()) + "-" +
                                            std::to_string(counter.fetch_add(1)));
    file_ = LFile::Open(path, LFileMode::kCreateExclusive, 0600);
    if (file_.IsOpen()) {
      path_ = std::move(path);
      return;
    }
    if (file_.OpenError() != EEXIST) return;
  }
}

LTemporaryFile LTemporaryFile::CreateNumbered(const std::string& stem, const std::string& extension,
                                              const std::string& folder) {
  LTemporaryFile result;
  const std::string base = folder.empty() ? TemporaryFolder() : folder;
  if (base.empty()) return result;
  for (int n = 1; n <= kMaxNumber; ++n) {
    const std::string lockPath = JoinPath(base, stem + std::to_string(n) + ".lck");
    const int lock = TakeLock(lockPath);
    if (lock < 0) continue;
    const std::string path = JoinPath(base, stem + std::to_string(n) + extension);
    struct stat info;
    const bool removed = ::lstat(path.c_str(), &info) != 0 || ::unlink(path.c_str()) == 0;
    LFile file = removed ? LFile::Open(path, LFileMode::kCreateExclusive, 0600) : LFile();
    if (!file.IsOpen()) {
      ::unlink(lockPath.c_str());
      ::close(lock);
      continue;
    }
    result.path_ = path;
    result.lockPath_ = lockPath;
    result.file_ = std::move(file);
    result.lockFd_ = lock;
    result.number_ = n;
    return result;
  }
  return result;
}

LTemporaryFile::~LTemporaryFile() { Remove(); }

LTemporaryFile::LTemporaryFile(LTemporaryFile&& other) noexcept
    : path_(std::move(other.path_)),
      lockPath_(std::move(other.lockPath_)),
      file_(std::move(other.file_)),
      lockFd_(std::exchange(other.lockFd_, -1)),
      number_(other.number_) {
  other.path_.clear();
  other.lockPath_.clear();
}

LTemporaryFile& LTemporaryFile::operator=(LTemporaryFile&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::exchange(other.path_, {});
    lockPath_ = std::exchange(other.lockPath_, {});
    file_ = std::move(other.file_);
    lockFd_ = std::exchange(other.lockFd_, -1);
    number_ = other.number_;
  }
  return *this;
}

void LTemporaryFile::Remove() {
  file_.Close();
  if (!path_.empty()) {
    ::unlink(path_.c_str());
    path_.clear();
  }
  ReleaseLock();
}

void LTemporaryFile::ReleaseLock() {
  if (lockFd_ < 0) return;
  // Removed while still locked, so that nobody locks the name we are about to give up.
  ::unlink(lockPath_.c_str());
  ::close(lockFd_);
  lockFd_ = -1;
  lockPath_.clear();
}

}  // namespace klangor
