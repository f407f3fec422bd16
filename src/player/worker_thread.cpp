#include "player/worker_thread.h"

namespace klangor {

LWorkerThread::~LWorkerThread() { Join(); }

bool LWorkerThread::WaitEnded(std::chrono::milliseconds timeout) {
  std::unique_lock lock(endedMutex_);
  return ended_.wait_for(lock, timeout, [this] { return !Running(); });
}

bool LWorkerThread::Start(LThreadPriority priority) {
  std::lock_guard lock(startLock_);
  if (thread_.joinable()) {
    if (Running() && !WaitEnded(std::chrono::milliseconds(1000))) return false;
    thread_.join();
  }
  stop_.Reset();
  running_.store(true, std::memory_order_release);
  thread_ = std::thread([this, priority] {
    threadId_.store(CurrentThreadId(), std::memory_order_release);
    if (priority != LThreadPriority::kNormal) SetThreadPriority(threadId_.load(), priority);
    Run();
    threadId_.store(0, std::memory_order_release);
    std::lock_guard endedLock(endedMutex_);
    running_.store(false, std::memory_order_release);
    ended_.notify_all();
  });
  return true;
}

bool LWorkerThread::Stop(std::chrono::milliseconds timeout) {
  std::lock_guard lock(startLock_);
  if (!thread_.joinable()) return true;
  stop_.Set();
  // A lowered thread gets its normal priority back so that it ends soon.
  SetPriority(LThreadPriority::kNormal);
  if (!WaitEnded(timeout)) return false;
  thread_.join();
  return true;
}

void LWorkerThread::SetPriority(LThreadPriority priority) {
  const pid_t id = threadId_.load(std::memory_order_acquire);
  if (id != 0) SetThreadPriority(id, priority);
}

void LWorkerThread::Join() {
  std::lock_guard lock(startLock_);
  if (!thread_.joinable()) return;
  stop_.Set();
  thread_.join();
}

}  // namespace klangor
