#include "app/single_instance.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/forwarded_block.h"
#include "platform/paths.h"

namespace klangor {
namespace {

constexpr char kLockName[] = "instance.lock";
constexpr char kSocketName[] = "instance.socket";
constexpr int kReceiptWaitMs = 5000;

// A folder of ours that nobody else can enter.
bool PrivateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) return false;
  return (info.st_mode & 077) == 0 || ::chmod(folder.c_str(), 0700) == 0;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd entry{fd, events, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, kReceiptWaitMs)) return false;
      continue;
    }
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string InstanceFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    std::string folder = JoinPath(runtime, "klangor");
    sockaddr_un probe;
    if (PrivateFolder(folder) && FillAddress(JoinPath(folder, kSocketName), probe)) return folder;
  }
  return TemporaryFolder();
}

LSingleInstance::LSingleInstance(std::string folder) : folder_(std::move(folder)) {
  if (!folder_.empty()) socketPath_ = JoinPath(folder_, kSocketName);
}

LSingleInstance::~LSingleInstance() {
  Close();
  ReleaseStartLock();
}

LSingleInstance::LRole LSingleInstance::Start(const std::vector<std::string>& arguments, int lockWaitMs) {
  if (folder_.empty() || !PrivateFolder(folder_)) {
    problem_ = "no private folder for the instance socket";
    return LRole::kInstance;
  }
  lockFd_ = ::open(JoinPath(folder_, kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd_ >= 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockWaitMs);
    while (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
      if (std::chrono::steady_clock::now() >= deadline) break;  // a hung start: go on without it
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  const LForward forwarded = Forward(arguments);
  if (forwarded != LForward::kNoInstance) {
    ReleaseStartLock();
    return forwarded == LForward::kDone ? LRole::kForwarded : LRole::kNoAnswer;
  }
  if (!Listen()) problem_ = "cannot listen on " + socketPath_ + ": " + std::strerror(errno);
  return LRole::kInstance;
}

LSingleInstance::LForward LSingleInstance::Forward(const std::vector<std::string>& arguments) {
  sockaddr_un address;
  if (!FillAddress(socketPath_, address)) return LForward::kNoInstance;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return LForward::kNoInstance;
  // Nobody listening (no socket, or one left by a crashed instance): this start is the instance.
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EAGAIN) {
    ::close(fd);
    return LForward::kNoInstance;
  }
  // An instance listens: it gets the arguments or, when it does not answer, this start ends
  // without taking its place.
  LForward result = LForward::kNoAnswer;
  if (SendAll(fd, EncodeForwardedBlock(arguments))) {
    ::shutdown(fd, SHUT_WR);
    char receipt = 0;
    if (WaitFor(fd, POLLIN, kReceiptWaitMs) && ::recv(fd, &receipt, 1, 0) == 1) result = LForward::kDone;
  }
  ::close(fd);
  return result;
}

bool LSingleInstance::Listen() {
  sockaddr_un address;
  if (!FillAddress(socketPath_, address)) return false;
  // Nobody answered on the socket: it is left over from an instance that crashed.
  ::unlink(socketPath_.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const mode_t oldMask = ::umask(077);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::umask(oldMask);
  if (!bound || ::chmod(socketPath_.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  }
  listenFd_ = fd;
  return true;
}

void LSingleInstance::ReleaseStartLock() {
  if (lockFd_ >= 0) {
    ::close(lockFd_);
    lockFd_ = -1;
  }
}

int LSingleInstance::Accept() {
  if (listenFd_ < 0) return -1;
  return ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

void LSingleInstance::Close() {
  if (listenFd_ < 0) return;
  ::close(listenFd_);
  listenFd_ = -1;
  ::unlink(socketPath_.c_str());
}

LForwardReader::~LForwardReader() {
  if (fd_ >= 0) ::close(fd_);
}

LForwardReader::LState LForwardReader::Read() {
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return LState::kMore;
    if (n < 0) return LState::kBad;
    if (n == 0) break;  // the sender has sent everything
    bytes_.append(buffer, static_cast<size_t>(n));
    if (bytes_.size() > kForwardedBlockBytes) return LState::kBad;
  }
  std::optional<std::vector<std::string>> arguments = DecodeForwardedBlock(bytes_);
  if (!arguments) return LState::kBad;
  arguments_ = std::move(*arguments);
  const char receipt = 1;
  (void)::send(fd_, &receipt, 1, MSG_NOSIGNAL);
  return LState::kDone;
}

}  // namespace klangor
