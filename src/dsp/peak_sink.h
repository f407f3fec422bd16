#pragma once
// A sink that keeps nothing but the peak of what it was given: the largest max(M, -m) over
// all written samples (the most negative sample counts as the largest magnitude). The
// normalisation's scan pumps the selection into it.

#include <cstdint>

#include "audio/sound_sink.h"

namespace klangor {

class LPeakSink final : public LSoundSink {
 public:
  LPeakSink(int32_t sampleRate, int channels) : LSoundSink(sampleRate, channels) {}
  void Write(const int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override { SetFramesWritten(frame); }
  // 0 before anything was written.
  int32_t Peak() const { return peak_; }

 private:
  int32_t peak_ = 0;
};

}  // namespace klangor
