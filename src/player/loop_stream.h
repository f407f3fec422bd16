#pragma once
// The loop stream of repeated play: its input from the loop start s to the loop end e, then
// from s again, without end. Frames from milliseconds are (rate / 1000) x ms +
// (rate mod 1000) x ms / 1000 at the input's rate; bounds in the wrong order are swapped.
// A loop shorter than 256 frames runs up to 256 frames past its end before it starts again.
//
// Position is the input's. Length is e + 8 seconds, so a player always finds audio ahead of
// the position and never reaches the end. Seek(p) below e seeks the input to p; from e on to
// s + (p - e) mod (e - s), or to s for an empty loop.

#include <cstdint>

#include "audio/sound_stream.h"

namespace klangor {

class LLoopStream final : public LSoundFilter {
 public:
  LLoopStream(LRef<LSoundStream> input, int32_t startFrame, int32_t endFrame);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Length() const override;
  void Seek(int32_t frame) override;

  int32_t LoopStart() const { return start_; }
  int32_t LoopEnd() const { return end_; }

 private:
  int32_t start_;
  int32_t end_;
};

// Frames of `ms` at `sampleRate` by the loop stream's rule.
int64_t LoopMsToFrames(int64_t ms, int32_t sampleRate);

// The loop from `startMs` to `endMs`; the input itself when it is not usable.
LRef<LSoundStream> MakeLoopStream(LRef<LSoundStream> input, int64_t startMs, int64_t endMs);

}  // namespace klangor
