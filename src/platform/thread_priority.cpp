#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace klangor {
namespace {

int NiceOf(LThreadPriority priority) {
  switch (priority) {
    case LThreadPriority::kBelowNormal: return 2;
    case LThreadPriority::kNormal: return 0;
    case LThreadPriority::kTimeCritical: return -10;
  }
  return 0;
}

// Whether this process may lower a nice value back to 0 (root, or a nice limit of 20+).
bool MayRaiseToNormal() {
  if (::geteuid() == 0) return true;
  rlimit limit{};
  return ::getrlimit(RLIMIT_NICE, &limit) == 0 && (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 20);
}

}  // namespace

pid_t CurrentThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

bool SetThreadPriority(pid_t thread, LThreadPriority priority) {
  if (thread <= 0) return false;
  if (priority == LThreadPriority::kBelowNormal && !MayRaiseToNormal()) return false;
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), NiceOf(priority)) == 0;
}

}  // namespace klangor
