#pragma once
// Opening a file that another process holds busy is retried for a time budget: the first
// wait is (budget + 127) / 256 ms (at least 1 ms), each further wait doubles, and every wait
// is taken from the budget. Any other error, or an exhausted budget, ends the attempts.

#include <functional>
#include <string>

#include "platform/file.h"

namespace klangor {

// True for the errno values that mean "busy elsewhere, try again later".
bool IsSharingError(int error);

// Runs `attempt` (which returns 0 or an errno value) under the retry rule and returns its
// last result. `sleepMs` waits; tests pass their own.
int RetryWhileShared(const std::function<int()>& attempt, int budgetMs,
                     const std::function<void(int)>& sleepMs);

// Opens `path` for reading under the retry rule.
LFile OpenForReadingRetrying(const std::string& path, int budgetMs);

}  // namespace klangor
