#pragma once
// What a concrete output gives LQueuedWaveOut: a place to write frames and a count of the
// frames that have left it. All calls come from the device thread, except Wake.
// Private to the device folder.

#include <cstdint>
#include <string>

namespace klangor {

class LOutputBackend {
 public:
  virtual ~LOutputBackend() = default;
  // Waits up to `timeoutMs` until frames can be written (or Wake is called); the number of
  // frames that can be written now without blocking (0 when none), -1 when the output
  // failed. `dataWaiting` tells whether the caller has audio to write now: running dry
  // while audio is waiting counts as an underrun, running dry at the end of the audio does
  // not.
  virtual int32_t WaitWritable(int timeoutMs, bool dataWaiting) = 0;
  // Writes up to `frames` frames; the number written, or -1 when the output failed.
  virtual int32_t WriteFrames(const int16_t* samples, int32_t frames) = 0;
  // Frames played out since the last Drop (never more than were written).
  virtual int64_t PlayedFrames() = 0;
  // Discards what was written and not yet played; the counts start again at 0.
  virtual void Drop() = 0;
  // Makes a running WaitWritable return soon. Any thread.
  virtual void Wake() = 0;
  virtual int64_t Underruns() const = 0;
  // How long the device thread may sleep between looks at the played frames (at most 20 ms,
  // so that buffers are marked done soon after they were played).
  virtual int PollMs() const = 0;
  virtual std::string Name() const = 0;
};

}  // namespace klangor
