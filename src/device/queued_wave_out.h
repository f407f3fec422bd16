#pragma once
// The queue, loop and done-flag mechanics of every output device, over a backend that takes
// frames (ALSA, the virtual device). One device thread per open device moves the queued
// buffers into the backend, period by period, and marks each buffer done once the backend
// reports its last frame played out.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/output_backend.h"
#include "device/wave_out.h"
#include "platform/event.h"

namespace klangor {

class LQueuedWaveOut final : public LWaveOut {
 public:
  // `done` is set whenever a buffer becomes done; it must outlive the device.
  LQueuedWaveOut(const LDeviceFormat& format, std::unique_ptr<LOutputBackend> backend, LEvent& done);
  ~LQueuedWaveOut() override;
  LQueuedWaveOut(const LQueuedWaveOut&) = delete;
  LQueuedWaveOut& operator=(const LQueuedWaveOut&) = delete;

  const LDeviceFormat& Format() const override { return format_; }
  void Write(LWaveHeader& header) override;
  void Reset() override;
  void SetVolume(uint16_t volume) override { volume_.store(volume, std::memory_order_relaxed); }
  uint16_t Volume() const override { return volume_.load(std::memory_order_relaxed); }
  int64_t Underruns() const override { return backend_->Underruns(); }
  int64_t FramesPlayed() const override { return framesPlayed_.load(std::memory_order_relaxed); }
  bool Failed() const override { return failed_.load(std::memory_order_acquire); }
  std::string Name() const override { return backend_->Name(); }

 private:
  struct Entry {
    LWaveHeader* header;
    int64_t endFrame = -1;  // backend frame count after its last frame, once all is written
    uint32_t loopsLeft = 1;
  };

  void Run();
  void MarkDone(LWaveHeader& header);
  void MarkPlayed(int64_t playedFrames);
  void DropAll();
  // Writes the next piece of the buffer being written; false when the backend failed.
  bool WriteNext(std::unique_lock<std::mutex>& lock, int32_t writable);

  const LDeviceFormat format_;
  std::unique_ptr<LOutputBackend> backend_;
  LEvent& done_;
  std::atomic<uint16_t> volume_{kFullVolume};
  std::atomic<bool> failed_{false};
  std::atomic<int64_t> framesPlayed_{0};
  int64_t playedBeforeDrop_ = 0;  // frames played before the last drop (device thread)

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Entry> queue_;
  size_t writeIndex_ = 0;        // the entry being written; the ones before it are written
  int32_t writeOffset_ = 0;      // frames of it written in this pass
  int64_t writtenFrames_ = 0;    // since the last drop
  bool resetRequested_ = false;
  uint64_t resets_ = 0;
  bool closing_ = false;
  std::vector<int16_t> scratch_;
  std::thread thread_;
};

}  // namespace klangor
