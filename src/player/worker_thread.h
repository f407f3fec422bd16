#pragma once
// The base of every object that owns a thread (the player's feeder, its completion
// watcher, the recorder): Start runs Run on a new thread, Stop signals the stop event and
// waits for Run to return.
//
// A thread that does not stop within the time-out is left to end by itself: the object
// keeps it, a later Start waits up to 1000 ms more for it and does nothing (returns false)
// while it still runs. Run must therefore notice the stop event (StopRequested, or a wait
// on StopEvent together with its other event) within a second. A derived class calls
// Join in its destructor, which waits for the thread however long it takes: the thread runs
// the derived object's Run and must never outlive it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/event.h"
#include "platform/thread_priority.h"

namespace klangor {

class LWorkerThread {
 public:
  LWorkerThread() = default;
  virtual ~LWorkerThread();
  LWorkerThread(const LWorkerThread&) = delete;
  LWorkerThread& operator=(const LWorkerThread&) = delete;

  bool Start(LThreadPriority priority = LThreadPriority::kNormal);
  // True when the thread has ended (or there was none).
  bool Stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // The running flag: set before the thread starts, cleared after Run returned.
  bool Running() const { return running_.load(std::memory_order_acquire); }
  // Best effort, from any thread; nothing when no thread runs.
  void SetPriority(LThreadPriority priority);

  LEvent& StopEvent() { return stop_; }
  bool StopRequested() const { return stop_.IsSet(); }

 protected:
  virtual void Run() = 0;
  void Join();

 private:
  bool WaitEnded(std::chrono::milliseconds timeout);

  std::mutex startLock_;  // guards starting, stopping and the thread handle
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<pid_t> threadId_{0};
  LEvent stop_;
  std::mutex endedMutex_;
  std::condition_variable ended_;
};

}  // namespace klangor
