#pragma once
// One editor per user: a later start hands its command line to the running one and ends.
//
// The instance folder ($XDG_RUNTIME_DIR/klangor, else the private temporary folder; mode
// 0700, refused when it is a link or someone else's) holds a lock file and the instance's
// Unix socket (both 0600). A start takes the lock (the start lock; other starts wait for it),
// then connects to the socket: when an instance answers, the start sends its forwarded block
// (app/forwarded_block.h), waits for the one-byte receipt and ends; otherwise the start
// removes a socket left by a crashed instance, listens on a new one and becomes the instance.
// The instance releases the start lock once its main window exists and has processed its own
// command line, so two starts never both become the instance.

#include <optional>
#include <string>
#include <vector>

namespace klangor {

// The folder described above, created when missing; empty when no safe one exists.
std::string InstanceFolder();

class LSingleInstance {
 public:
  enum class LRole {
    kInstance,   // this process runs the editor (listening when the socket could be made)
    kForwarded,  // the running instance has the arguments; this process ends
    kNoAnswer,   // an instance runs but did not take the arguments in time; this process ends
  };

  explicit LSingleInstance(std::string folder = InstanceFolder());
  ~LSingleInstance();
  LSingleInstance(const LSingleInstance&) = delete;
  LSingleInstance& operator=(const LSingleInstance&) = delete;

  // Settles the role. `arguments` include the program path (argument 0). When the start lock
  // is not free within `lockWaitMs` (a start that hangs), the start goes on without it.
  LRole Start(const std::vector<std::string>& arguments, int lockWaitMs = 10000);
  // Why there is no listening socket (empty when there is one).
  const std::string& Problem() const { return problem_; }

  void ReleaseStartLock();
  // The listening socket (non-blocking), -1 when there is none.
  int ListenDescriptor() const { return listenFd_; }
  // A waiting connection (non-blocking), -1 when none waits.
  int Accept();
  // Stops listening and removes the socket.
  void Close();

 private:
  enum class LForward { kNoInstance, kDone, kNoAnswer };
  LForward Forward(const std::vector<std::string>& arguments);
  bool Listen();

  std::string folder_;
  std::string socketPath_;
  int lockFd_ = -1;
  int listenFd_ = -1;
  std::string problem_;
};

// Reads one forwarded block from a connection the instance accepted. Feed it whenever the
// descriptor is readable; it answers the receipt once the sender has sent a whole block and
// closed its side.
class LForwardReader {
 public:
  enum class LState { kMore, kDone, kBad };

  explicit LForwardReader(int fd) : fd_(fd) {}
  ~LForwardReader();
  LForwardReader(const LForwardReader&) = delete;
  LForwardReader& operator=(const LForwardReader&) = delete;

  int Descriptor() const { return fd_; }
  // Reads what is there. kDone: Arguments() holds the command line (the receipt was sent);
  // kBad: the block had the wrong size; kMore: wait for more. Both ends close the connection.
  LState Read();
  const std::vector<std::string>& Arguments() const { return arguments_; }

 private:
  int fd_;
  std::string bytes_;
  std::vector<std::string> arguments_;
};

}  // namespace klangor
