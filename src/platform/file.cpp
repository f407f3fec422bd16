#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace klangor {

LFile::~LFile() { Close(); }

LFile::LFile(LFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), openError_(other.openError_), position_(other.position_) {}

LFile& LFile::operator=(LFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    openError_ = other.openError_;
    position_ = other.position_;
  }
  return *this;
}

LFile LFile::Open(const std::string& path, LFileMode mode, int permissions) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case LFileMode::kRead: flags |= O_RDONLY; break;
    case LFileMode::kReadWrite: flags |= O_RDWR; break;
    case LFileMode::kOpenOrCreate: flags |= O_RDWR | O_CREAT; break;
    case LFileMode::kCreateAlways: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case LFileMode::kCreateExclusive: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, permissions);
  } while (fd < 0 && errno == EINTR);
  LFile file(fd);
  if (fd < 0) {
    file.openError_ = errno;
    return file;
  }
  // A folder opens read-only without error; it is not a file we can read audio from.
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    file.Close();
    file.openError_ = EISDIR;
  }
  return file;
}

void LFile::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

int64_t LFile::ReadAt(int64_t offset, void* buffer, int64_t bytes) const {
  if (fd_ < 0 || offset < 0) return -1;
  auto* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < bytes) {
    ssize_t got = ::pread(fd_, out + done, static_cast<size_t>(bytes - done), offset + done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool LFile::WriteAt(int64_t offset, const void* buffer, int64_t bytes) {
  if (fd_ < 0 || offset < 0) return false;
  const auto* in = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < bytes) {
    ssize_t put = ::pwrite(fd_, in + done, static_cast<size_t>(bytes - done), offset + done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) return false;
    done += put;
  }
  return true;
}

int64_t LFile::Read(void* buffer, int64_t bytes) {
  int64_t got = ReadAt(position_, buffer, bytes);
  if (got > 0) position_ += got;
  return got;
}

bool LFile::Write(const void* buffer, int64_t bytes) {
  bool ok = WriteAt(position_, buffer, bytes);
  if (ok) position_ += bytes;
  return ok;
}

int64_t LFile::Size() const {
  struct stat info;
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return -1;
  return info.st_size;
}

bool LFile::Truncate(int64_t bytes) {
  if (fd_ < 0 || bytes < 0) return false;
  int rc;
  do {
    rc = ::ftruncate(fd_, bytes);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool LFile::Sync() { return fd_ >= 0 && ::fsync(fd_) == 0; }

bool ReadWholeFile(const std::string& path, std::string* contents) {
  LFile file = LFile::Open(path, LFileMode::kRead);
  if (!file.IsOpen()) return false;
  contents->clear();
  char chunk[65536];
  for (;;) {
    int64_t got = file.Read(chunk, sizeof chunk);
    if (got < 0) return false;
    if (got == 0) return true;
    contents->append(chunk, static_cast<size_t>(got));
  }
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace klangor
