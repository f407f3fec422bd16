#pragma once
// A second thread that runs one piece of work in step with its owner, for loops that split
// into two independent halves (the channels of a frame). Begin starts the work on the lane,
// Finish waits until it is done; everything written before Begin is visible to the work, and
// everything the work wrote is visible after Finish. Requests usually follow each other within
// microseconds, so both sides spin a little before they sleep.

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace klangor {

class LSecondLane {
 public:
  explicit LSecondLane(std::function<void()> work);
  ~LSecondLane();
  LSecondLane(const LSecondLane&) = delete;
  LSecondLane& operator=(const LSecondLane&) = delete;

  void Begin();
  void Finish();

  // True when the machine has a second processor to run a lane on.
  static bool Worthwhile();

 private:
  void Run();

  std::function<void()> work_;
  std::atomic<uint32_t> requested_{0};
  std::atomic<uint32_t> done_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace klangor
