#include "device/queued_wave_out.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/thread_priority.h"

namespace klangor {
namespace {

constexpr int32_t kPieceFrames = 4096;  // largest piece handed to the backend at once

}  // namespace

LQueuedWaveOut::LQueuedWaveOut(const LDeviceFormat& format, std::unique_ptr<LOutputBackend> backend, LEvent& done)
    : format_(format), backend_(std::move(backend)), done_(done) {
  scratch_.resize(static_cast<size_t>(kPieceFrames) * static_cast<size_t>(format_.channels));
  thread_ = std::thread([this] { Run(); });
}

LQueuedWaveOut::~LQueuedWaveOut() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    changed_.notify_all();
  }
  backend_->Wake();
  thread_.join();
  backend_->Drop();
  std::lock_guard lock(mutex_);
  DropAll();
}

void LQueuedWaveOut::Write(LWaveHeader& header) {
  const uint32_t loopFlags = header.flags.load(std::memory_order_relaxed) &
                             (LWaveHeader::kBeginLoop | LWaveHeader::kEndLoop);
  header.flags.store(loopFlags | LWaveHeader::kInQueue, std::memory_order_release);
  std::lock_guard lock(mutex_);
  if (Failed()) {
    MarkDone(header);
    return;
  }
  Entry entry{&header};
  if (loopFlags == (LWaveHeader::kBeginLoop | LWaveHeader::kEndLoop)) entry.loopsLeft = std::max<uint32_t>(1, header.loops);
  queue_.push_back(entry);
  changed_.notify_all();
}

void LQueuedWaveOut::Reset() {
  std::unique_lock lock(mutex_);
  const uint64_t before = resets_;
  resetRequested_ = true;
  changed_.notify_all();
  lock.unlock();
  backend_->Wake();
  lock.lock();
  changed_.wait(lock, [&] { return resets_ != before; });
}

void LQueuedWaveOut::MarkDone(LWaveHeader& header) {
  header.flags.store((header.flags.load(std::memory_order_relaxed) & ~LWaveHeader::kInQueue) | LWaveHeader::kDone,
                     std::memory_order_release);
  done_.Set();
}

void LQueuedWaveOut::MarkPlayed(int64_t playedFrames) {
  while (!queue_.empty() && writeIndex_ > 0 && queue_.front().endFrame <= playedFrames) {
    MarkDone(*queue_.front().header);
    queue_.pop_front();
    --writeIndex_;
  }
}

void LQueuedWaveOut::DropAll() {
  for (Entry& entry : queue_) MarkDone(*entry.header);
  queue_.clear();
  writeIndex_ = 0;
  writeOffset_ = 0;
  writtenFrames_ = 0;
}

bool LQueuedWaveOut::WriteNext(std::unique_lock<std::mutex>& lock, int32_t writable) {
  Entry& entry = queue_[writeIndex_];
  const int32_t frames = static_cast<int32_t>(entry.header->bytes / static_cast<uint32_t>(format_.BlockAlign()));
  const int32_t count = std::min({writable, frames - writeOffset_, kPieceFrames});
  if (count > 0) {
    const size_t samples = static_cast<size_t>(count) * static_cast<size_t>(format_.channels);
    const int16_t* from = entry.header->data + static_cast<size_t>(writeOffset_) * static_cast<size_t>(format_.channels);
    const uint16_t volume = Volume();
    if (volume == kFullVolume) {
      std::memcpy(scratch_.data(), from, samples * sizeof(int16_t));
    } else {
      for (size_t i = 0; i < samples; ++i) scratch_[i] = static_cast<int16_t>((from[i] * int32_t{volume}) >> 16);
    }
    // The copy is ours: the backend may take its time without the lock, and a reset meanwhile
    // does not wait for it.
    lock.unlock();
    const int32_t written = backend_->WriteFrames(scratch_.data(), count);
    lock.lock();
    if (written < 0) return false;
    if (resetRequested_ || closing_) return true;  // the entry may be gone; the reset drops it
    writeOffset_ += written;
    writtenFrames_ += written;
  }
  if (writeOffset_ >= frames) {
    writeOffset_ = 0;
    if (entry.loopsLeft > 1) {
      --entry.loopsLeft;
    } else {
      entry.endFrame = writtenFrames_;
      ++writeIndex_;
    }
  }
  return true;
}

void LQueuedWaveOut::Run() {
  SetThreadPriority(CurrentThreadId(), LThreadPriority::kTimeCritical);
  std::unique_lock lock(mutex_);
  while (!closing_) {
    if (resetRequested_) {
      lock.unlock();
      playedBeforeDrop_ += backend_->PlayedFrames();
      framesPlayed_.store(playedBeforeDrop_, std::memory_order_relaxed);
      backend_->Drop();
      lock.lock();
      DropAll();
      resetRequested_ = false;
      ++resets_;
      changed_.notify_all();
      continue;
    }
    if (Failed()) {
      DropAll();
      changed_.wait(lock, [this] { return closing_ || resetRequested_ || !queue_.empty(); });
      continue;
    }
    if (queue_.empty()) {
      changed_.wait(lock, [this] { return closing_ || resetRequested_ || !queue_.empty(); });
      continue;
    }
    if (writeIndex_ > 0) {
      lock.unlock();
      const int64_t played = backend_->PlayedFrames();
      lock.lock();
      if (resetRequested_ || closing_) continue;
      framesPlayed_.store(playedBeforeDrop_ + played, std::memory_order_relaxed);
      MarkPlayed(played);
    }
    if (writeIndex_ >= queue_.size()) {
      // Everything is written: wait for it to play out, or for more buffers.
      const size_t queued = queue_.size();
      changed_.wait_for(lock, std::chrono::milliseconds(backend_->PollMs()),
                        [&] { return closing_ || resetRequested_ || queue_.size() != queued; });
      continue;
    }
    lock.unlock();
    const int32_t writable = backend_->WaitWritable(backend_->PollMs(), true);
    lock.lock();
    if (resetRequested_ || closing_) continue;
    if (writable < 0 || !WriteNext(lock, std::max(writable, 0))) {
      failed_.store(true, std::memory_order_release);
      DropAll();
    }
  }
}

}  // namespace klangor
