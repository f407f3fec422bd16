#include "ui/column_painter.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace klangor {
namespace {

// Pieces go out at least this often, and at most this many columns wait for one.
constexpr auto kPieceInterval = std::chrono::milliseconds(25);
constexpr int32_t kPieceColumns = 512;

// The painter yields to playback and the user-interface thread: a few steps below normal
// (a third of a normal thread's share when they compete). Not the lowest: that would starve the
// waveform whenever any other program keeps the processor busy. Lowering needs no privilege and
// the thread ends with its control.
void LowerPriority() {
  constexpr int kNiceSteps = 5;
  const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
  ::setpriority(PRIO_PROCESS, thread, ::getpriority(PRIO_PROCESS, thread) + kNiceSteps);
}

}  // namespace

LColumnPainter::LColumnPainter(std::function<void(LColumnResult)> deliver)
    : deliver_(std::move(deliver)), thread_([this] { Run(); }) {}

LColumnPainter::~LColumnPainter() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    quit_ = true;
    pending_.reset();
    latest_ = UINT64_MAX;
  }
  wake_.notify_all();
  thread_.join();
}

void LColumnPainter::Request(LColumnJob job) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    latest_ = job.generation;
    pending_ = std::move(job);
  }
  wake_.notify_all();
}

void LColumnPainter::Cancel(uint64_t generation) {
  std::lock_guard<std::mutex> guard(mutex_);
  latest_ = generation;
  pending_.reset();
}

void LColumnPainter::Run() {
  LowerPriority();
  for (;;) {
    LColumnJob job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || pending_.has_value(); });
      if (quit_) return;
      job = std::move(*pending_);
      pending_.reset();
    }
    if (!job.snapshot || job.end <= job.first) continue;
    const int32_t count = job.end - job.first;
    std::vector<uint8_t> top(static_cast<size_t>(count));
    std::vector<uint8_t> bottom(static_cast<size_t>(count));
    int32_t delivered = 0;
    auto lastPiece = std::chrono::steady_clock::now();
    auto hand = [&](int32_t done, bool last) {
      LColumnResult result;
      result.generation = job.generation;
      result.first = job.first + delivered;
      result.top.assign(top.begin() + delivered, top.begin() + done);
      result.bottom.assign(bottom.begin() + delivered, bottom.begin() + done);
      result.last = last;
      delivered = done;
      lastPiece = std::chrono::steady_clock::now();
      deliver_(std::move(result));
    };
    const int32_t done = ComputeColumns(*job.snapshot, job.map, job.options, job.first, job.end,
                                        {top.data(), bottom.data()}, [&](int32_t columns) {
                                          if (latest_.load(std::memory_order_relaxed) != job.generation) return true;
                                          if (columns - delivered >= kPieceColumns ||
                                              std::chrono::steady_clock::now() - lastPiece >= kPieceInterval) {
                                            hand(columns, false);
                                          }
                                          return false;
                                        });
    if (latest_.load() != job.generation) continue;  // outdated: the control drops it anyway
    hand(done, true);
  }
}

}  // namespace klangor
