#pragma once
// The push consumer of audio: block writers, file writers, encoders, the recorder's targets.
//
// Contract of every sink:
// - Write(frames, frameCount) takes frameCount x Channels() interleaved samples; any
//   frameCount >= 0 is accepted. FramesWritten() is also the write position.
// - Seek(frame) moves the write position (what that means depends on the sink).
// - Finish() completes the output (file writers patch their headers); it is idempotent and
//   each concrete sink's destructor calls it. Call it explicitly to learn whether finishing
//   worked: afterwards Failed() covers creation, every write and the finish.
// - Error bit kCannotWrite means the output could not be created or written; a caller that
//   finds it set treats the output as lost. kNoSpace comes with it when the output was
//   refused before the first write because it would not fit on its disk.
// - ExpectFrames(n), called before the first write by a caller that knows how many frames
//   will follow, returns the bytes the output will then hold (-1 when the sink cannot tell:
//   compressed output, a pipe). Sinks that write files choose their layout for that size and
//   refuse what would not fit into the free space of the file system (kNoSpace).
// - Abandon() tells the sink that its output will be thrown away (a cancelled or failed
//   save): sinks that run something (an encoder program) stop it at once instead of letting
//   it finish. Finish() still follows.

#include <cstdint>

#include "audio/ref_counted.h"

namespace klangor {

class LSoundSink : public LRefCounted {
 public:
  static constexpr uint8_t kCannotWrite = 1;
  static constexpr uint8_t kNoSpace = 2;

  int32_t FramesWritten() const { return framesWritten_; }
  int32_t SampleRate() const { return sampleRate_; }
  int Channels() const { return channels_; }
  uint8_t ErrorFlags() const { return errorFlags_; }
  bool Failed() const { return (errorFlags_ & kCannotWrite) != 0; }

  virtual void Write(const int32_t* frames, int32_t frameCount) = 0;
  virtual void Seek(int32_t frame) = 0;
  virtual void Finish() {}
  virtual void Abandon() {}
  virtual int64_t ExpectFrames(int64_t /*frameCount*/) { return -1; }
  bool LacksSpace() const { return (errorFlags_ & kNoSpace) != 0; }

 protected:
  // A channel count of 0 becomes 1 and sets kCannotWrite.
  LSoundSink(int32_t sampleRate, int channels);

  void SetFramesWritten(int32_t frames) { framesWritten_ = frames; }
  void AddFramesWritten(int32_t frames) { framesWritten_ += frames; }
  void SetError(uint8_t flags) { errorFlags_ |= flags; }

 private:
  int32_t framesWritten_ = 0;
  int32_t sampleRate_;
  uint8_t channels_;
  uint8_t errorFlags_ = 0;
};

}  // namespace klangor
