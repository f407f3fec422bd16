#pragma once
// The painter thread of a waveform control: computes column ranges (store/wave_columns.h) at
// the lowest priority and hands the bytes back in pieces as they are done, so the control
// repaints while a long run goes on.
//
// Every job carries the control's generation; a newer request makes the running job stop
// after its current column and every result of an older generation is dropped by the
// control, so a result never lands in a view it was not computed for. The job's snapshot is
// the control's private copy of the sound: an edit of the document never touches it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "store/wave_columns.h"

namespace klangor {

struct LColumnJob {
  uint64_t generation = 0;
  std::shared_ptr<LColumnSnapshot> snapshot;
  LColumnMap map;
  LColumnOptions options;
  int32_t first = 0;
  int32_t end = 0;
};

struct LColumnResult {
  uint64_t generation = 0;
  int32_t first = 0;  // the bytes are columns first, first + 1, ...
  std::vector<uint8_t> top;
  std::vector<uint8_t> bottom;
  bool last = false;  // the job's final piece
};

class LColumnPainter {
 public:
  // `deliver` is called on the painter thread with each finished piece.
  explicit LColumnPainter(std::function<void(LColumnResult)> deliver);
  ~LColumnPainter();
  LColumnPainter(const LColumnPainter&) = delete;
  LColumnPainter& operator=(const LColumnPainter&) = delete;

  // Replaces any job not yet begun; a running job of an older generation stops.
  void Request(LColumnJob job);
  // Stops the running job (at its next column) and drops the waiting one.
  void Cancel(uint64_t generation);

 private:
  void Run();

  std::function<void(LColumnResult)> deliver_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<LColumnJob> pending_;
  std::atomic<uint64_t> latest_{0};
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace klangor
