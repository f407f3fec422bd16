#include "platform/event.h"

#include <algorithm>

namespace klangor {

void LEvent::Set() {
  std::lock_guard lock(mutex_);
  set_ = true;
  for (Waiter* waiter : waiters_) {
    std::lock_guard waiterLock(waiter->mutex);
    waiter->signalled = true;
    waiter->woken.notify_all();
  }
}

void LEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool LEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool LEvent::Wait(std::chrono::milliseconds timeout) { return WaitAny({this}, timeout) == 0; }

bool LEvent::Register(Waiter* waiter) {
  std::lock_guard lock(mutex_);
  if (set_) return false;
  waiters_.push_back(waiter);
  return true;
}

void LEvent::Unregister(Waiter* waiter) {
  std::lock_guard lock(mutex_);
  waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
}

int LEvent::WaitAny(std::initializer_list<LEvent*> events, std::chrono::milliseconds timeout) {
  auto firstSet = [&events] {
    int index = 0;
    for (LEvent* event : events) {
      if (event->IsSet()) return index;
      ++index;
    }
    return -1;
  };
  Waiter waiter;
  std::vector<LEvent*> registered;
  bool already = false;
  for (LEvent* event : events) {
    if (!event->Register(&waiter)) {
      already = true;
      break;
    }
    registered.push_back(event);
  }
  if (!already) {
    std::unique_lock lock(waiter.mutex);
    waiter.woken.wait_for(lock, timeout, [&waiter] { return waiter.signalled; });
  }
  for (LEvent* event : registered) event->Unregister(&waiter);
  return firstSet();
}

}  // namespace klangor
