#include "platform/sequential_writer.h"

#include <cstring>
#include <utility>

namespace klangor {
namespace {

constexpr size_t kBufferBytes = size_t{1} << 20;
constexpr int kMaxBusyBuffers = 3;

}  // namespace

LSequentialWriter::LSequentialWriter(LFile file, LWriteMode mode)
    : file_(std::move(file)), position_(file_.Position()) {
  if (mode == LWriteMode::kBackground && file_.IsOpen()) {
    current_.bytes.reserve(kBufferBytes);
    current_.offset = position_;
    thread_ = std::thread([this] { Run(); });
  }
}

LSequentialWriter::~LSequentialWriter() {
  Flush();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void LSequentialWriter::Write(const void* data, int64_t bytes) {
  if (!file_.IsOpen()) {
    failed_ = true;
    return;
  }
  if (!thread_.joinable()) {
    if (!file_.WriteAt(position_, data, bytes)) failed_ = true;
    position_ += bytes;
    return;
  }
  const auto* in = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    size_t room = kBufferBytes - current_.bytes.size();
    size_t take = static_cast<size_t>(std::min<int64_t>(bytes, static_cast<int64_t>(room)));
    current_.bytes.insert(current_.bytes.end(), in, in + take);
    in += take;
    bytes -= static_cast<int64_t>(take);
    position_ += static_cast<int64_t>(take);
    if (current_.bytes.size() == kBufferBytes) HandOver();
  }
}

void LSequentialWriter::HandOver() {
  if (current_.bytes.empty() || !thread_.joinable()) return;
  Buffer next;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return busy_ < kMaxBusyBuffers; });
    queued_.push_back(std::move(current_));
    ++busy_;
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_all();
  next.bytes.clear();
  next.bytes.reserve(kBufferBytes);
  next.offset = position_;
  current_ = std::move(next);
}

void LSequentialWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (queued_.empty()) return;
    Buffer buffer = std::move(queued_.front());
    queued_.pop_front();
    lock.unlock();
    bool ok = file_.WriteAt(buffer.offset, buffer.bytes.data(), static_cast<int64_t>(buffer.bytes.size()));
    lock.lock();
    if (!ok) failed_ = true;
    spare_.push_back(std::move(buffer));
    --busy_;
    changed_.notify_all();
  }
}

bool LSequentialWriter::Flush() {
  HandOver();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return busy_ == 0; });
  return !failed_ && file_.IsOpen();
}

void LSequentialWriter::SetPosition(int64_t offset) {
  Flush();
  position_ = offset < 0 ? 0 : offset;
  current_.offset = position_;
}

bool LSequentialWriter::Failed() {
  std::lock_guard<std::mutex> guard(mutex_);
  return failed_;
}

LFile& LSequentialWriter::File() {
  Flush();
  file_.SetPosition(position_);
  return file_;
}

}  // namespace klangor
