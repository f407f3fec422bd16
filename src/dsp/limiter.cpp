#include "dsp/limiter.h"

#include <algorithm>
#include <cstring>

namespace klangor {

int32_t LimiterBlockGain(int32_t peak, int32_t limit) {
  limit = std::clamp(limit, 0, kLimiterCeiling);
  if (peak <= limit) return kUnityQ24;
  const int32_t divisor = static_cast<int32_t>((int64_t{peak} + 64) >> 6);
  return ((limit << 9) / divisor) << 9;
}

int32_t LimiterBlockGain(const LExtremes& extremes, int32_t limit) {
  limit = std::clamp(limit, 0, kLimiterCeiling);
  if (extremes.largest <= limit && extremes.smallest >= -(limit + 16)) return kUnityQ24;
  return LimiterBlockGain(PeakOf(extremes), limit);
}

LLimiterStream::LLimiterStream(LRef<LSoundStream> input, int32_t limit)
    : LSoundFilter(std::move(input)), limit_(std::clamp(limit, 0, kLimiterCeiling)) {
  SetFullScale(limit_);
  block_ = std::clamp(SampleRate() / 35, 20, 8192);
  blockSamples_ = static_cast<size_t>(block_) * Channels();
  buffers_.resize(3 * blockSamples_);
}

int32_t LLimiterStream::ReadBlockGain(int index) {
  int32_t* buffer = Buffer(index);
  Input().Read(buffer, block_);
  return LimiterBlockGain(ExtremesOf(buffer, blockSamples_), limit_);
}

void LLimiterStream::Prime() {
  primed_ = true;
  // When the input shows that a window and the three blocks after it stay within the limit,
  // the window passes untouched: its blocks and the look-ahead of its last ones all have
  // unity gain. The limiter then primes again at the window's end, which is a whole number
  // of blocks away, and is in the state it would have reached block by block.
  const int32_t window = block_ * kPassBlocks;
  if (Input().StaysWithin(window + 3 * block_, limit_, -(limit_ + 16))) {
    passLeft_ = window;
    return;
  }
  current_ = 0;
  previousGain_ = currentGain_ = ReadBlockGain(0);
  nextGain_ = ReadBlockGain(1);
  afterNextGain_ = ReadBlockGain(2);
  gain_ = currentGain_;
  PlanRamp();
  offset_ = 0;
}

void LLimiterStream::Rotate() {
  // The block just output is the oldest: it receives the block after the next two.
  const int refill = current_;
  current_ = (current_ + 1) % 3;
  previousGain_ = currentGain_;
  currentGain_ = nextGain_;
  nextGain_ = afterNextGain_;
  afterNextGain_ = ReadBlockGain(refill);
  PlanRamp();
  offset_ = 0;
}

void LLimiterStream::PlanRamp() {
  // The gain reaches its target at the end of the block: the remainder of the change is
  // taken at once, the rest in equal steps.
  const int64_t lowest = std::min(currentGain_, nextGain_);
  const int64_t mean = (int64_t{afterNextGain_} + previousGain_ + nextGain_ + currentGain_) >> 2;
  const int64_t change = std::min(mean - gain_, lowest - gain_);
  gain_ = static_cast<int32_t>(gain_ + change % block_);
  step_ = static_cast<int32_t>(change / block_);
}

void LLimiterStream::Read(int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  while (frameCount > 0) {
    if (!primed_) Prime();
    if (passLeft_ > 0) {
      const int32_t n = std::min(passLeft_, frameCount);
      Input().Read(frames, n);
      frames += static_cast<size_t>(n) * channels;
      frameCount -= n;
      passLeft_ -= n;
      if (passLeft_ == 0) primed_ = false;
      continue;
    }
    if (offset_ >= block_) Rotate();
    const int32_t n = std::min(block_ - offset_, frameCount);
    const int32_t* source = Buffer(current_) + static_cast<size_t>(offset_) * channels;
    const size_t samples = static_cast<size_t>(n) * channels;
    if (gain_ < kUnityQ24 || step_ != 0) {
      gain_ = ApplyGainRamp(source, frames, n, channels, gain_, step_);
    } else {
      std::memcpy(frames, source, samples * sizeof(int32_t));
    }
    frames += samples;
    frameCount -= n;
    offset_ += n;
  }
}

int32_t LLimiterStream::Position() const {
  if (!primed_ || passLeft_ > 0) return Input().Position();
  return static_cast<int32_t>(int64_t{Input().Position()} + offset_ - 3 * int64_t{block_});
}

void LLimiterStream::Seek(int32_t frame) {
  Input().Seek(frame);
  primed_ = false;
  passLeft_ = 0;
}

bool LLimiterStream::StaysWithin(int32_t frameCount, int32_t largest, int32_t smallest) const {
  if (largest >= limit_ && smallest <= -(limit_ + 16)) return true;
  return Input().StaysWithin(frameCount, largest, smallest);
}

LRef<LSoundStream> MakeLimiter(LRef<LSoundStream> input, int32_t limit) {
  if (!input || input->FullScale() <= limit) return input;
  return LRef<LSoundStream>(MakeRef<LLimiterStream>(std::move(input), limit));
}

}  // namespace klangor
