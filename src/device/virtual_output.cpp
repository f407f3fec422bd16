#include "device/virtual_output.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "device/wav_capture.h"

namespace klangor {
namespace {

using Clock = std::chrono::steady_clock;

class LVirtualBackend final : public LOutputBackend {
 public:
  LVirtualBackend(const LDeviceFormat& format, const LVirtualOutputOptions& options)
      : format_(format),
        options_(options),
        // As the ALSA device: 400 ms in four periods.
        bufferFrames_(std::max(80, static_cast<int32_t>(int64_t{format.sampleRate} * 4 / 10))),
        periodFrames_(std::max(1, bufferFrames_ / 4)) {}

  bool OpenCapture(std::string* error) {
    return options_.capturePath.empty() || capture_.Open(options_.capturePath, format_, error);
  }

  int32_t WaitWritable(int timeoutMs, bool dataWaiting) override {
    if (Exhausted()) return -1;
    if (options_.pacing == LPacing::kAsFastAsPossible) return 1 << 20;
    std::unique_lock lock(mutex_);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const Clock::time_point now = Clock::now();
      if (running_ && ClockFrames(now) >= written_) {
        // Ran dry: the clock waits for the next frame.
        if (dataWaiting) ++underruns_;
        running_ = false;
      }
      const int64_t space = bufferFrames_ - (written_ - PlayedAt(now));
      if (space >= periodFrames_ || woken_ || now >= deadline) {
        woken_ = false;
        return static_cast<int32_t>(std::max<int64_t>(space, 0));
      }
      // Sleep until a period is free again.
      const int64_t missing = periodFrames_ - space;
      const auto untilFree = std::chrono::microseconds(missing * 1000000 / format_.sampleRate + 1);
      wake_.wait_until(lock, std::min(deadline, now + untilFree));
    }
  }

  int32_t WriteFrames(const int16_t* samples, int32_t frames) override {
    if (Exhausted()) return -1;
    if (options_.failAfterFrames >= 0) {
      frames = static_cast<int32_t>(std::min<int64_t>(frames, options_.failAfterFrames - total_));
    }
    int32_t captured = frames;
    if (options_.captureLimitFrames >= 0) {
      captured = static_cast<int32_t>(std::clamp<int64_t>(options_.captureLimitFrames - total_, 0, frames));
    }
    capture_.Write(samples, captured);
    total_ += frames;
    std::lock_guard lock(mutex_);
    if (!running_ && options_.pacing == LPacing::kRealTime) {
      running_ = true;
      clockStart_ = Clock::now();
      clockBase_ = written_;
    }
    written_ += frames;
    return frames;
  }

  int64_t PlayedFrames() override {
    std::lock_guard lock(mutex_);
    return PlayedAt(Clock::now());
  }

  void Drop() override {
    capture_.Flush();
    std::lock_guard lock(mutex_);
    written_ = 0;
    running_ = false;
  }

  void Wake() override {
    std::lock_guard lock(mutex_);
    woken_ = true;
    wake_.notify_all();
  }

  int64_t Underruns() const override {
    std::lock_guard lock(mutex_);
    return underruns_;
  }
  int PollMs() const override {
    return options_.pacing == LPacing::kAsFastAsPossible ? 1 : std::clamp(periodFrames_ * 1000 / format_.sampleRate, 1, 20);
  }
  std::string Name() const override { return kVirtualDeviceName; }

 private:
  bool Exhausted() const { return options_.failAfterFrames >= 0 && total_ >= options_.failAfterFrames; }
  int64_t ClockFrames(Clock::time_point now) const {
    const int64_t elapsedUs = std::chrono::duration_cast<std::chrono::microseconds>(now - clockStart_).count();
    return clockBase_ + elapsedUs * format_.sampleRate / 1000000;
  }
  int64_t PlayedAt(Clock::time_point now) const {
    if (options_.pacing == LPacing::kAsFastAsPossible || !running_) return written_;
    return std::min(written_, ClockFrames(now));
  }

  const LDeviceFormat format_;
  const LVirtualOutputOptions options_;
  const int32_t bufferFrames_;
  const int32_t periodFrames_;
  LWavCapture capture_;
  int64_t total_ = 0;  // frames played since opening, across drops (device thread only)

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  bool running_ = false;       // the clock runs (there is audio in the device buffer)
  Clock::time_point clockStart_{};
  int64_t clockBase_ = 0;      // frames written when the clock started
  int64_t written_ = 0;        // since the last drop
  int64_t underruns_ = 0;
};

}  // namespace

std::unique_ptr<LOutputBackend> MakeVirtualBackend(const LDeviceFormat& format, const LVirtualOutputOptions& options,
                                                   std::string* error) {
  auto backend = std::make_unique<LVirtualBackend>(format, options);
  if (!backend->OpenCapture(error)) return nullptr;
  return backend;
}

}  // namespace klangor
