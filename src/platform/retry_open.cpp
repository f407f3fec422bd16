#include "platform/retry_open.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace klangor {

bool IsSharingError(int error) { return error == EBUSY || error == ETXTBSY || error == EAGAIN; }

int RetryWhileShared(const std::function<int()>& attempt, int budgetMs,
                     const std::function<void(int)>& sleepMs) {
  // At least 1 ms: a budget below 129 ms would otherwise give waits of 0 ms that never use
  // the budget up, and a file held busy for good would be retried forever.
  int waitMs = std::max((budgetMs + 127) / 256, 1);
  for (;;) {
    int error = attempt();
    if (!IsSharingError(error) || budgetMs <= 0) return error;
    sleepMs(waitMs);
    budgetMs -= waitMs;
    waitMs *= 2;
  }
}

LFile OpenForReadingRetrying(const std::string& path, int budgetMs) {
  LFile file;
  RetryWhileShared(
      [&] {
        file = LFile::Open(path, LFileMode::kRead);
        return file.IsOpen() ? 0 : file.OpenError();
      },
      budgetMs, [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
  return file;
}

}  // namespace klangor
