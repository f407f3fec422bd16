#pragma once
// The peak limiter that output paths put behind streams that may exceed 16-bit full scale.
//
// It works on blocks of rate / 35 frames (20 to 8192) and looks three blocks ahead. Each
// block has a Q24 gain: unity when its peak is at most the limit L, otherwise
// ((L << 9) div ((peak + 64) >> 6)) << 9. Over every block the gain ramps linearly to the
// smaller of the lowest gain of this and the next block and the mean of the four gains
// around it, so a loud block is faded into and out of instead of clipped. Blocks that need
// no gain are copied untouched: a signal whose peaks stay within L passes sample for sample.
// The 16-bit range reaches one step further below zero than above it (-32768 x 16 is
// -(524272 + 16)), so a block counts as within the limit while its samples lie within
// -(L + 16)..L: 16-bit sound keeps every sample, -32768 included, through the output paths.
//
// The limit is kept within 0..4194303 (larger limits would overflow the block gain), and the
// stream's full scale is the limit. Output does not depend on how the caller slices its
// reads; Seek re-primes the look-ahead from the new position. Where the input shows that it
// stays within the limit (StaysWithin), windows of kPassBlocks blocks are read straight
// through, with the same result.

#include <cstdint>
#include <vector>

#include "audio/sound_stream.h"
#include "dsp/fixed_point.h"

namespace klangor {

inline constexpr int32_t kLimiterCeiling = 4194303;
// The blocks of a window that an input within the limit passes straight through.
inline constexpr int32_t kPassBlocks = 1024;

// The Q24 gain of a block with peak `peak` under the limit (the limit clamped to
// 0..4194303).
int32_t LimiterBlockGain(int32_t peak, int32_t limit);
// The gain of a block from its extremes: unity while they lie within -(limit + 16)..limit.
int32_t LimiterBlockGain(const LExtremes& extremes, int32_t limit);

class LLimiterStream final : public LSoundFilter {
 public:
  LLimiterStream(LRef<LSoundStream> input, int32_t limit);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  void Seek(int32_t frame) override;
  // Its output never leaves -(L + 16)..L: a block's gain is at most L / (peak + 1) in Q24, and
  // the ramps run between gains of that block and its neighbours' lower ones.
  bool StaysWithin(int32_t frameCount, int32_t largest, int32_t smallest) const override;

  int32_t BlockFrames() const { return block_; }

 private:
  int32_t* Buffer(int index) { return buffers_.data() + static_cast<size_t>(index) * blockSamples_; }
  int32_t ReadBlockGain(int index);
  void Prime();
  void Rotate();
  void PlanRamp();

  int32_t limit_;
  int32_t block_;          // frames per block
  size_t blockSamples_;    // samples per block
  std::vector<int32_t> buffers_;  // three blocks
  int current_ = 0;        // the buffer being output; the next two follow it cyclically
  int32_t previousGain_ = 0;
  int32_t currentGain_ = 0;
  int32_t nextGain_ = 0;
  int32_t afterNextGain_ = 0;
  int32_t gain_ = 0;
  int32_t step_ = 0;
  int32_t offset_ = 0;     // frames of the current block already output
  bool primed_ = false;
  int32_t passLeft_ = 0;   // frames of a window read straight through
};

// The input itself when its full scale is at most `limit`, else a limiter stream over it.
LRef<LSoundStream> MakeLimiter(LRef<LSoundStream> input, int32_t limit);

}  // namespace klangor
