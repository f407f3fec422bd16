#include "player/notifier.h"

#include <algorithm>

namespace klangor {

class LRunLoop::LChannel final : public LNotifyChannel {
 public:
  LChannel(std::shared_ptr<LQueue> queue, std::function<void()> handler)
      : queue_(std::move(queue)), handler_(std::move(handler)) {}
  ~LChannel() override {
    std::lock_guard lock(queue_->mutex);
    auto& ready = queue_->ready;
    ready.erase(std::remove(ready.begin(), ready.end(), this), ready.end());
  }
  void Post() override {
    std::lock_guard lock(queue_->mutex);
    if (queued_) return;
    queued_ = true;
    queue_->ready.push_back(this);
    queue_->posted.notify_all();
  }
  // Under the queue's lock: the handler to run now (the channel may be destroyed by it).
  std::function<void()> Take() {
    queued_ = false;
    return handler_;
  }

 private:
  std::shared_ptr<LQueue> queue_;
  std::function<void()> handler_;
  bool queued_ = false;  // guarded by the queue's mutex
};

LRunLoop::LRunLoop() : queue_(std::make_shared<LQueue>()) {}
LRunLoop::~LRunLoop() = default;

std::unique_ptr<LNotifyChannel> LRunLoop::OpenChannel(std::function<void()> handler) {
  return std::make_unique<LChannel>(queue_, std::move(handler));
}

int LRunLoop::RunPending(std::chrono::milliseconds timeout) {
  std::unique_lock lock(queue_->mutex);
  queue_->posted.wait_for(lock, timeout, [this] { return !queue_->ready.empty(); });
  // Calls posted while these run wait for the next round.
  size_t count = queue_->ready.size();
  int ran = 0;
  while (count-- > 0 && !queue_->ready.empty()) {
    LChannel* channel = queue_->ready.front();
    queue_->ready.pop_front();
    std::function<void()> handler = channel->Take();
    lock.unlock();
    handler();
    ++ran;
    lock.lock();
  }
  return ran;
}

bool LRunLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return done();
    RunPending(std::min(left, std::chrono::milliseconds(50)));
  }
  return true;
}

}  // namespace klangor
