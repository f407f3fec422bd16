#include "device/virtual_input.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace klangor {
namespace {

using Clock = std::chrono::steady_clock;

int16_t ToInt16(int32_t v) {
  const int32_t s = (v + 8) >> 4;
  return static_cast<int16_t>(std::clamp(s, -32768, 32767));
}

class LVirtualInput final : public LWaveIn {
 public:
  LVirtualInput(const LVirtualInputOptions& options, const LDeviceFormat& format, LRef<LSoundStream> source)
      : options_(options),
        format_(format),
        source_(std::move(source)),
        lengthFrames_(source_ ? source_->Length() : -1),
        capacityFrames_(int64_t{format.sampleRate} * kVirtualInputBufferMs / 1000) {}

  const LDeviceFormat& Format() const override { return format_; }

  void Start() override {
    started_ = Clock::now();
    running_ = true;
  }

  int32_t Read(int16_t* samples, int32_t frames, int timeoutMs) override {
    if (failed_.load() || ended_.load()) return -1;
    if (!running_) return 0;
    int64_t available = Available();
    if (available == 0 && timeoutMs > 0 && options_.pacing == LPacing::kRealTime) {
      // Sleep until the next frame is due, or the time-out.
      const double framesPerUs = format_.sampleRate * std::max(options_.speed, 1e-3) / 1e6;
      const auto untilNext = std::chrono::microseconds(static_cast<int64_t>(1 / framesPerUs) + 1);
      std::this_thread::sleep_for(std::min<std::chrono::microseconds>(untilNext, std::chrono::milliseconds(timeoutMs)));
      available = Available();
    }
    if (options_.failAfterFrames >= 0 && delivered_ >= options_.failAfterFrames) {
      failed_.store(true);
      return -1;
    }
    if (lengthFrames_ >= 0 && delivered_ + lostTotal_ >= lengthFrames_) {
      ended_.store(true);
      return -1;
    }
    int64_t count = std::min<int64_t>(available, frames);
    if (options_.failAfterFrames >= 0) count = std::min(count, options_.failAfterFrames - delivered_);
    if (count <= 0) return 0;
    Produce(samples, static_cast<int32_t>(count));
    delivered_ += count;
    return static_cast<int32_t>(count);
  }

  int64_t Overruns() const override { return overruns_.load(); }
  int64_t LostFrames() const override { return lost_.load(); }
  bool Failed() const override { return failed_.load(); }
  bool Ended() const override { return ended_.load(); }
  bool CarriesDcOffset() const override { return options_.carriesDcOffset; }
  std::string Name() const override { return kVirtualInputName; }

 private:
  // Frames that can be read now; the clock's frames that no longer fit are skipped first.
  int64_t Available() {
    int64_t left = lengthFrames_ >= 0 ? lengthFrames_ - delivered_ - lostTotal_ : INT64_MAX;
    if (options_.pacing == LPacing::kAsFastAsPossible) return std::min<int64_t>(left, 1 << 20);
    const double elapsedUs =
        static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started_).count());
    int64_t due = static_cast<int64_t>(elapsedUs * options_.speed * format_.sampleRate / 1e6);
    if (lengthFrames_ >= 0) due = std::min(due, lengthFrames_);
    int64_t waiting = due - delivered_ - lostTotal_;
    if (waiting > capacityFrames_) {
      const int64_t skip = waiting - capacityFrames_;
      Skip(skip);
      if (!losing_) overruns_.fetch_add(1);
      losing_ = true;
      lostTotal_ += skip;
      lost_.store(lostTotal_);
      waiting = capacityFrames_;
    } else {
      losing_ = false;
    }
    return std::max<int64_t>(waiting, 0);
  }

  void Skip(int64_t frames) {
    if (source_) source_->Seek(static_cast<int32_t>(std::min<int64_t>(source_->Position() + frames, INT32_MAX)));
  }

  void Produce(int16_t* samples, int32_t frames) {
    const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(format_.channels);
    if (!source_) {
      std::fill(samples, samples + count, int16_t{0});
      return;
    }
    wide_.resize(count);
    source_->Read(wide_.data(), frames);
    for (size_t i = 0; i < count; ++i) samples[i] = ToInt16(wide_[i]);
  }

  const LVirtualInputOptions options_;
  const LDeviceFormat format_;
  LRef<LSoundStream> source_;
  const int64_t lengthFrames_;  // -1: no end
  const int64_t capacityFrames_;
  Clock::time_point started_{};
  bool running_ = false;
  bool losing_ = false;
  int64_t delivered_ = 0;
  int64_t lostTotal_ = 0;
  std::vector<int32_t> wide_;
  std::atomic<int64_t> overruns_{0};
  std::atomic<int64_t> lost_{0};
  std::atomic<bool> failed_{false};
  std::atomic<bool> ended_{false};
};

}  // namespace

std::unique_ptr<LWaveIn> OpenVirtualInput(const LVirtualInputOptions& options, const LDeviceFormat& format,
                                          std::string* error) {
  if (format.sampleRate <= 0 || format.channels <= 0 || format.channels > 255) {
    *error = "the input cannot record " + std::to_string(format.sampleRate) + " Hz with " +
             std::to_string(format.channels) + " channels";
    return nullptr;
  }
  LRef<LSoundStream> source;
  if (options.source) {
    source = options.source();
    if (!source || source->State() != LStreamState::kOk) {
      *error = "the virtual input cannot open its sound";
      return nullptr;
    }
    if (source->SampleRate() != format.sampleRate || source->Channels() != format.channels) {
      *error = "the virtual input plays " + std::to_string(source->SampleRate()) + " Hz with " +
               std::to_string(source->Channels()) + " channels, not " + std::to_string(format.sampleRate) +
               " Hz with " + std::to_string(format.channels);
      return nullptr;
    }
  }
  return std::make_unique<LVirtualInput>(options, format, std::move(source));
}

}  // namespace klangor
