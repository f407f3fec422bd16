#pragma once
// The result of every long operation: opening, loading, saving, effects, transfers.

namespace klangor {

enum class LResult : int { kDone = 0, kCancelled = 1, kFailed = 2 };

}  // namespace klangor
