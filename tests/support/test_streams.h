#pragma once
// Small streams, sinks and progress objects for tests.

#include <cstdint>
#include <functional>
#include <vector>

#include "audio/progress.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "store/segment_list.h"

namespace klangor::test {

// A stream whose sample at (frame, channel) is value(frame, channel) for frames in
// [0, length), zeros elsewhere.
class LFunctionStream final : public LSoundStream {
 public:
  using Value = std::function<int32_t(int64_t frame, int channel)>;
  LFunctionStream(int32_t rate, int channels, int32_t length, Value value,
                  int32_t fullScale = 524272);
  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return length_; }
  void Seek(int32_t frame) override { position_ = frame; }

 private:
  int32_t length_;
  int32_t position_ = 0;
  Value value_;
};

// A filter that negates every sample of its input.
class LNegateFilter final : public LSoundFilter {
 public:
  explicit LNegateFilter(LRef<LSoundStream> input) : LSoundFilter(std::move(input)) {}
  void Read(int32_t* frames, int32_t frameCount) override {
    Input().Read(frames, frameCount);
    for (int32_t i = 0; i < frameCount * Channels(); ++i) frames[i] = -frames[i];
  }
};

// A sink that keeps what it gets in memory (tests only).
class LMemorySink final : public LSoundSink {
 public:
  LMemorySink(int32_t rate, int channels) : LSoundSink(rate, channels) {}
  void Write(const int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;
  std::vector<int32_t> samples;
  int failAfterFrames = -1;  // >= 0: writes fail once this many frames were written
};

// Cancels when asked for the (n+1)-th time; never when n < 0.
class LCancelAfter final : public LProgress {
 public:
  explicit LCancelAfter(int questions) : left_(questions) {}
  bool Cancelled() override { return left_ >= 0 && left_-- == 0; }

 private:
  int left_;
};

// Reads a whole stream from position 0 (length frames).
std::vector<int32_t> ReadAll(LSoundStream& stream);
// Reads `frames` frames from the stream's position in pieces of 0 to `maxPiece` frames, their
// sizes drawn from `seed`: a reader must not depend on how its reads are sliced.
std::vector<int32_t> ReadInRandomPieces(LSoundStream& stream, int32_t frames, int32_t maxPiece, uint32_t seed);
// Writes `samples` (interleaved) into a new block and returns the one-segment list.
LSegmentList MakeSound(int32_t rate, int channels, const std::vector<int32_t>& samples);

}  // namespace klangor::test
