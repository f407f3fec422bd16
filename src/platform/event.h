#pragma once
// A manual-reset event: once set it stays set, waking every waiter, until it is reset.
// Worker threads wait for their stop event together with one other event, so WaitAny waits
// for the first of several events to be set, with a time-out.
//
// Set, Reset and the waits may be called from any thread. An event must outlive every wait
// on it.

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace klangor {

class LEvent {
 public:
  LEvent() = default;
  LEvent(const LEvent&) = delete;
  LEvent& operator=(const LEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;

  // True when the event is set within `timeout`.
  bool Wait(std::chrono::milliseconds timeout);
  // The index in `events` of the first one that is set within `timeout`, or -1 on time-out.
  static int WaitAny(std::initializer_list<LEvent*> events, std::chrono::milliseconds timeout);

 private:
  struct Waiter {
    std::mutex mutex;
    std::condition_variable woken;
    bool signalled = false;
  };
  // False when the event is set already (nothing registered).
  bool Register(Waiter* waiter);
  void Unregister(Waiter* waiter);

  mutable std::mutex mutex_;
  bool set_ = false;
  std::vector<Waiter*> waiters_;
};

}  // namespace klangor
