#include "platform/second_lane.h"

#include <utility>

namespace klangor {
namespace {

constexpr int kSpins = 2000;

inline void Relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Waits until `value` differs from `old`, spinning first; returns the new value.
uint32_t AwaitChange(const std::atomic<uint32_t>& value, uint32_t old) {
  uint32_t now = value.load(std::memory_order_acquire);
  for (int spin = 0; now == old && spin < kSpins; ++spin) {
    Relax();
    now = value.load(std::memory_order_acquire);
  }
  while (now == old) {
    value.wait(old, std::memory_order_acquire);
    now = value.load(std::memory_order_acquire);
  }
  return now;
}

}  // namespace

LSecondLane::LSecondLane(std::function<void()> work) : work_(std::move(work)), thread_([this] { Run(); }) {}

LSecondLane::~LSecondLane() {
  stop_.store(true, std::memory_order_release);
  requested_.fetch_add(1, std::memory_order_release);
  requested_.notify_one();
  thread_.join();
}

bool LSecondLane::Worthwhile() { return std::thread::hardware_concurrency() >= 2; }

void LSecondLane::Begin() {
  requested_.fetch_add(1, std::memory_order_release);
  requested_.notify_one();
}

void LSecondLane::Finish() {
  const uint32_t wanted = requested_.load(std::memory_order_relaxed);
  uint32_t done = done_.load(std::memory_order_acquire);
  while (done != wanted) done = AwaitChange(done_, done);
}

void LSecondLane::Run() {
  uint32_t seen = 0;
  for (;;) {
    seen = AwaitChange(requested_, seen);
    if (stop_.load(std::memory_order_acquire)) return;
    work_();
    done_.store(seen, std::memory_order_release);
    done_.notify_one();
  }
}

}  // namespace klangor
