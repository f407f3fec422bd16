#include "platform/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file.h"
#include "platform/safe_replace.h"

namespace klangor {
namespace {

// A settings file kept as a link (dot-file collections often do that) is replaced where the
// link points, so the link survives.
std::string ResolveLink(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string target = resolved;
  std::free(resolved);
  return target;
}

}  // namespace

LReadStatus ReadSmallFile(const std::string& path, std::string* contents, int64_t maxBytes) {
  contents->clear();
  // O_NONBLOCK: a FIFO put in the file's place must not stall the program.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? LReadStatus::kMissing : LReadStatus::kUnreadable;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxBytes) {
    ::close(fd);
    return LReadStatus::kUnreadable;
  }
  char chunk[16384];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || static_cast<int64_t>(contents->size()) + got > maxBytes) {
      ::close(fd);
      contents->clear();
      return LReadStatus::kUnreadable;
    }
    if (got == 0) break;
    contents->append(chunk, static_cast<size_t>(got));
  }
  ::close(fd);
  return LReadStatus::kRead;
}

bool ReplaceSmallFile(const std::string& path, const std::string& contents, unsigned newFileMode) {
  const std::string target = ResolveLink(path);
  // A new file is created empty first with its own mode, which the replacement then keeps.
  bool created = false;
  if (int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      static_cast<mode_t>(newFileMode));
      fd >= 0) {
    ::close(fd);
    created = true;
  }
  bool written = false;
  {
    LSafeReplace replace(target, LSyncMode::kAlways);
    if (replace.Ready()) {
      LFile file = LFile::Open(replace.TempPath(), LFileMode::kReadWrite);
      written = file.IsOpen() && file.Write(contents.data(), static_cast<int64_t>(contents.size()));
      file.Close();
      written = written && replace.Commit();
    }
  }
  if (!written && created) RemoveFile(target);
  return written;
}

}  // namespace klangor
