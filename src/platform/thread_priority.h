#pragma once
// Scheduling priority of a thread, best effort: raising a thread above normal needs a
// privilege (CAP_SYS_NICE or a nice limit) that most desktop sessions do not grant, and then
// nothing changes. A thread is only lowered below normal when it could be raised back, so a
// lowered thread never stays slow for good.

#include <sys/types.h>

namespace klangor {

enum class LThreadPriority { kBelowNormal, kNormal, kTimeCritical };

// The kernel's id of the calling thread.
pid_t CurrentThreadId();
// Sets the priority of thread `thread` (a CurrentThreadId() of a running thread); false when
// the system refused.
bool SetThreadPriority(pid_t thread, LThreadPriority priority);

}  // namespace klangor
