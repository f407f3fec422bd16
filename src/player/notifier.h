#pragma once
// How worker threads reach the user-interface thread: a channel's Post, from any thread,
// makes the user-interface thread run the channel's handler soon. Posts that arrive before
// the handler ran are merged into one call, so a handler looks at flags rather than
// counting calls. Destroying a channel (on the user-interface thread) drops its calls not
// yet run.
//
// The editor implements LNotifier with Qt's queued invocation; LRunLoop is the headless one:
// the thread that calls its Run functions is the user-interface thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace klangor {

class LNotifyChannel {
 public:
  virtual ~LNotifyChannel() = default;
  virtual void Post() = 0;
};

class LNotifier {
 public:
  virtual ~LNotifier() = default;
  virtual std::unique_ptr<LNotifyChannel> OpenChannel(std::function<void()> handler) = 0;
};

class LRunLoop final : public LNotifier {
 public:
  LRunLoop();
  ~LRunLoop() override;
  LRunLoop(const LRunLoop&) = delete;
  LRunLoop& operator=(const LRunLoop&) = delete;

  std::unique_ptr<LNotifyChannel> OpenChannel(std::function<void()> handler) override;
  // Runs the calls pending now, first waiting up to `timeout` when there are none; the
  // number of calls run.
  int RunPending(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
  // Runs calls as they come until `done()` holds (checked after each call and at the start)
  // or `timeout` has passed; true when done.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

 private:
  class LChannel;
  struct LQueue {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<LChannel*> ready;
  };
  std::shared_ptr<LQueue> queue_;
};

}  // namespace klangor
