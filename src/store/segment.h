#pragma once
// One piece of a sound: a window onto a block with its own gain.
//
// A segment owns one reference to its block: copying a segment adds a reference, destroying
// one releases it, moving one hands the reference over. Block kNoBlock is silence.

#include <cstdint>
#include <utility>

#include "store/block_store.h"

namespace klangor {

inline constexpr int32_t kUnityGain = 16777216;  // 1.0 in 8.24 fixed point
inline constexpr int32_t kMaxGain = 2147483647;

class LSegment {
 public:
  int32_t length = 0;        // frames this segment contributes, above 0 in a list
  int32_t gain = kUnityGain; // applied when reading
  int32_t start = 0;         // first frame used inside the block's audio file

  LSegment() = default;
  ~LSegment() { LBlockStore::Instance().Release(block_); }
  LSegment(const LSegment& other)
      : length(other.length), gain(other.gain), start(other.start), block_(other.block_) {
    LBlockStore::Instance().AddReference(block_);
  }
  LSegment(LSegment&& other) noexcept
      : length(other.length), gain(other.gain), start(other.start),
        block_(std::exchange(other.block_, kNoBlock)) {}
  LSegment& operator=(LSegment other) noexcept {
    length = other.length;
    gain = other.gain;
    start = other.start;
    std::swap(block_, other.block_);
    return *this;
  }

  static LSegment Silence(int32_t length) {
    LSegment segment;
    segment.length = length;
    return segment;
  }
  // A segment that takes over one reference the caller already holds on `block`.
  static LSegment AdoptBlock(uint16_t block, int32_t start, int32_t length) {
    LSegment segment;
    segment.block_ = block;
    segment.start = start;
    segment.length = length;
    return segment;
  }

  uint16_t Block() const { return block_; }
  bool IsSilence() const { return block_ == kNoBlock; }

 private:
  uint16_t block_ = kNoBlock;
};

}  // namespace klangor
