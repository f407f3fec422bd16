#pragma once
// Sequential writing of a large file, directly or on a second thread.
//
// Copying data into the page cache is most of the cost of writing a large file. In the
// background mode full buffers go to a writer thread, so that copy runs on another core
// while the caller produces the next piece; what was handed over reaches the file a few
// megabytes later (Flush() waits for it). The direct mode writes each piece before Write
// returns, for files that others read while they grow.
//
// Writes go in order to increasing offsets from the current position. An error is sticky
// and reported by Failed() once it is known (at the latest after Flush()). The object is
// used by one caller thread at a time.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/file.h"

namespace klangor {

enum class LWriteMode { kDirect, kBackground };

class LSequentialWriter {
 public:
  // Takes over `file`; writing starts at its current position.
  LSequentialWriter(LFile file, LWriteMode mode);
  ~LSequentialWriter();
  LSequentialWriter(const LSequentialWriter&) = delete;
  LSequentialWriter& operator=(const LSequentialWriter&) = delete;

  bool IsOpen() const { return file_.IsOpen(); }
  void Write(const void* data, int64_t bytes);
  // Waits until everything handed over is written; false when any write failed.
  bool Flush();
  // Flushes, then continues writing at `offset`.
  void SetPosition(int64_t offset);
  bool Failed();
  // Flushes and gives the file back (for truncating or header patching).
  LFile& File();

 private:
  struct Buffer {
    std::vector<uint8_t> bytes;
    int64_t offset = 0;
  };
  void HandOver();
  void Run();

  LFile file_;
  int64_t position_;     // file offset of the next byte handed to Write
  Buffer current_;       // being filled by the caller
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Buffer> queued_;        // full buffers waiting for the thread
  std::vector<Buffer> spare_;        // written buffers ready for reuse
  int busy_ = 0;                     // buffers queued or being written
  bool failed_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace klangor
