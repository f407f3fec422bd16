#pragma once
// The grain time stretch: plays its input in grains of about 11 ms, each cross-faded into
// the next, taking the grains at a distance (the step) that sets the speed. It serves speeds
// the phase vocoder does not (above 8, zero or negative) and is playback's cue stream.
//
// Sizes in samples (frames x channels c): grain G = (rate div 90, 20..2730 frames) x c,
// buffer 8 G. The fade table holds G Q24 gains: unity for the first half, then a raised
// cosine down towards 0. Each output sample is Q24(new x (1 - fade[p])) + Q24(old x fade[p])
// at position p in the grain: the old grain plays on for half a grain and is then
// cross-faded into the new one. At every new grain the old head continues where the new one
// was, and the new head starts one step after the previous grain's start (in whole frames).
// The step starts at a x G and moves to b x G over the ramp time; a negative step plays
// the input backwards grain by grain, each grain itself forwards.
//
// The buffer keeps a window of the input around both heads: when the next grain's window
// (from the lower head to the old head + G or the new start + 2 G) still fits, the buffer
// moves along and reads what is missing; otherwise it jumps, keeping the rest of the old
// grain and reading 2 G samples at the new start. Both heads always read inside what the
// buffer holds.
//
// Position and Length count output frames at the second speed b: output frame t is input
// frame t x b. For a b of 0 or below (a still or backward cue) Seek counts input frames and
// the length has no end.

#include <cstdint>
#include <vector>

#include "audio/sound_stream.h"

namespace klangor {

class LGrainStretchStream final : public LSoundFilter {
 public:
  // Starts at the input's position.
  LGrainStretchStream(LRef<LSoundStream> input, double firstSpeed, double secondSpeed, int32_t rampMs);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return static_cast<int32_t>(position_); }
  int32_t Length() const override;
  void Seek(int32_t frame) override;

  // The input frame the new grain plays now.
  int64_t SourcePosition() const;
  int32_t GrainSamples() const { return grain_; }

 private:
  void Start(int64_t sourceFrame);
  void NewGrain();
  void Move(int64_t low);
  void Jump();
  void ReadSource(int64_t bufferIndex, int64_t sourceSample, int64_t sampleCount);

  int channels_;
  int32_t grain_;       // G, samples
  int32_t bufferSize_;  // 8 G
  double secondSpeed_;
  std::vector<int32_t> fade_;
  std::vector<int32_t> buffer_;
  int64_t initialStep_;
  int64_t targetStep_;
  int64_t initialRamp_;  // samples
  int64_t step_ = 0;
  int64_t ramp_ = 0;
  int32_t grainPosition_ = 0;  // p
  int64_t oldHead_ = 0;        // h1, buffer index
  int64_t newHead_ = 0;        // h2
  int64_t grainStart_ = 0;     // S
  int64_t bufferStart_ = 0;    // input sample at buffer index 0 (a multiple of c)
  int64_t validFrom_ = 0;      // the buffer mirrors the input from here ...
  int64_t fill_ = 0;           // ... up to here
  int64_t inputAt_ = 0;        // the input stream's frame
  int64_t position_ = 0;
  int64_t startFrame_ = 0;     // input frame to start from
  bool pending_ = true;
};

// The time stretch at `speed` (the input plays 1 / speed times as long at the same pitch):
// the phase vocoder for speeds above 0 up to 8, the grain stretch otherwise.
LRef<LSoundStream> MakeTimeStretch(LRef<LSoundStream> input, double speed);

}  // namespace klangor
