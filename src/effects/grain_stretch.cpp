#include "effects/grain_stretch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "audio/pump.h"
#include "audio/time_units.h"
#include "dsp/effect_math.h"
#include "dsp/fixed_point.h"
#include "effects/phase_vocoder.h"

namespace klangor {
namespace {


// trunc(speed x grain), kept within 2^40 samples so that the ramp's products stay far from
// the 64-bit limits whatever the speed.
int64_t StepFor(double speed, int32_t grain) {
  const double step = std::trunc(speed * grain);
  if (!(step == step)) return 0;
  constexpr double kLimit = 1099511627776.0;
  return static_cast<int64_t>(std::clamp(step, -kLimit, kLimit));
}

}  // namespace

LGrainStretchStream::LGrainStretchStream(LRef<LSoundStream> input, double firstSpeed, double secondSpeed,
                                         int32_t rampMs)
    : LSoundFilter(std::move(input)), channels_(Channels()), secondSpeed_(secondSpeed) {
  grain_ = std::clamp(SampleRate() / 90, 20, 2730) * channels_;
  bufferSize_ = 8 * grain_;
  fade_.resize(static_cast<size_t>(grain_));
  const int32_t half = grain_ / 2;
  const int32_t rest = grain_ - half;
  for (int32_t i = 0; i < half; ++i) fade_[i] = kUnityQ24;
  for (int32_t i = 0; i < rest; ++i) {
    fade_[half + i] = static_cast<int32_t>(std::trunc((0.5 * std::cos(i * kPi / rest) + 0.5) * 16777216.0 + 0.5));
  }
  buffer_.assign(static_cast<size_t>(bufferSize_), 0);
  initialStep_ = StepFor(firstSpeed, grain_);
  targetStep_ = StepFor(secondSpeed, grain_);
  initialRamp_ = MsToFrames(std::max(rampMs, 0), SampleRate()) * channels_;
  startFrame_ = Input().Position();
  position_ = secondSpeed_ > 0.0 ? static_cast<int64_t>(std::trunc(static_cast<double>(startFrame_) / secondSpeed_))
                                 : startFrame_;
}

int32_t LGrainStretchStream::Length() const {
  if (!(secondSpeed_ > 0.0)) return std::numeric_limits<int32_t>::max();
  const double length = std::ceil(static_cast<double>(std::max(Input().Length(), 0)) / secondSpeed_);
  return static_cast<int32_t>(std::min(length, static_cast<double>(std::numeric_limits<int32_t>::max())));
}

void LGrainStretchStream::Seek(int32_t frame) {
  position_ = frame;
  startFrame_ = secondSpeed_ > 0.0 ? static_cast<int64_t>(std::trunc(frame * secondSpeed_)) : frame;
  pending_ = true;
}

int64_t LGrainStretchStream::SourcePosition() const {
  return FloorDiv(bufferStart_ + newHead_, channels_);
}

void LGrainStretchStream::ReadSource(int64_t bufferIndex, int64_t sourceSample, int64_t sampleCount) {
  int32_t* to = buffer_.data() + bufferIndex;
  int64_t frame = sourceSample / channels_;  // a multiple of c: exact
  int64_t frames = sampleCount / channels_;
  if (frame < 0) {
    const int64_t zeros = std::min(frames, -frame);
    std::fill(to, to + zeros * channels_, 0);
    to += zeros * channels_;
    frame += zeros;
    frames -= zeros;
  }
  if (frames <= 0) return;
  if (inputAt_ != frame) {
    Input().Seek(SaturateToInt32(frame));
    inputAt_ = frame;
  }
  while (frames > 0) {
    const auto piece = static_cast<int32_t>(std::min<int64_t>(frames, kPumpFrames));
    Input().Read(to, piece);
    to += static_cast<size_t>(piece) * channels_;
    frames -= piece;
    inputAt_ += piece;
  }
}

void LGrainStretchStream::Start(int64_t sourceFrame) {
  grainPosition_ = 0;
  step_ = initialStep_;
  ramp_ = initialRamp_;
  if (step_ < 0) {
    // Backwards: the first grain is the one before the start.
    oldHead_ = bufferSize_ - 2 * grain_;
    bufferStart_ = sourceFrame * channels_ - (grain_ + oldHead_);
  } else {
    oldHead_ = 0;
    bufferStart_ = sourceFrame * channels_;
  }
  newHead_ = grainStart_ = oldHead_;
  inputAt_ = Input().Position();
  ReadSource(0, bufferStart_, bufferSize_);
  validFrom_ = 0;
  fill_ = bufferSize_;
  pending_ = false;
}

void LGrainStretchStream::Move(int64_t low) {
  // The buffer starts at `low` from now on; what it held from there stays, the rest is read.
  const int64_t keepFrom = std::max(validFrom_, low);
  const int64_t keepTo = std::min(fill_, low + bufferSize_);
  if (keepTo > keepFrom) {
    std::memmove(buffer_.data() + (keepFrom - low), buffer_.data() + keepFrom,
                 static_cast<size_t>(keepTo - keepFrom) * sizeof(int32_t));
  }
  const int64_t oldStart = bufferStart_;
  bufferStart_ += low;
  oldHead_ -= low;
  grainStart_ -= low;
  if (keepTo > keepFrom) {
    if (keepFrom > low) ReadSource(0, oldStart + low, keepFrom - low);
    if (keepTo - low < bufferSize_) ReadSource(keepTo - low, oldStart + keepTo, bufferSize_ - (keepTo - low));
  } else {
    ReadSource(0, bufferStart_, bufferSize_);
  }
  validFrom_ = 0;
  fill_ = bufferSize_;
}

void LGrainStretchStream::Jump() {
  // The old grain's rest goes to the front; the new grain's 2 G samples follow it.
  std::memmove(buffer_.data(), buffer_.data() + oldHead_, static_cast<size_t>(grain_) * sizeof(int32_t));
  const int64_t newStart = bufferStart_ + grainStart_;
  bufferStart_ = newStart - grain_;
  oldHead_ = 0;
  grainStart_ = grain_;
  ReadSource(grain_, newStart, 2 * int64_t{grain_});
  validFrom_ = grain_;
  fill_ = 3 * int64_t{grain_};
}

void LGrainStretchStream::NewGrain() {
  oldHead_ = newHead_;
  const int64_t next = bufferStart_ + grainStart_ + step_;
  grainStart_ = FloorDiv(next, channels_) * channels_ - bufferStart_;
  const int64_t low = std::min(grainStart_, oldHead_);
  const int64_t high = std::max(oldHead_ + grain_, grainStart_ + 2 * int64_t{grain_});
  if (high - low <= bufferSize_ && low > -2 * int64_t{grain_}) {
    if (low < validFrom_ || high > fill_) Move(low);
  } else {
    Jump();
  }
  newHead_ = grainStart_;
  grainPosition_ = 0;
  if (ramp_ > 0) {
    step_ += (targetStep_ - step_) * grain_ / ramp_;
    ramp_ -= grain_;
    if (ramp_ <= 0) step_ = targetStep_;
  } else {
    step_ = targetStep_;
  }
}

void LGrainStretchStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  const int64_t samples = int64_t{frameCount} * channels_;
  if (!Usable()) {
    std::fill(frames, frames + samples, 0);
    position_ += frameCount;
    return;
  }
  if (pending_) Start(startFrame_);
  int64_t done = 0;
  while (done < samples) {
    if (grainPosition_ >= grain_) NewGrain();
    const auto run = static_cast<int32_t>(std::min<int64_t>(samples - done, grain_ - grainPosition_));
    const int32_t* fresh = buffer_.data() + newHead_;
    const int32_t* old = buffer_.data() + oldHead_;
    const int32_t* fade = fade_.data() + grainPosition_;
    int32_t* out = frames + done;
    for (int32_t i = 0; i < run; ++i) {
      const int32_t f = fade[i];
      const uint32_t sum = static_cast<uint32_t>(MulQ24(fresh[i], kUnityQ24 - f)) + static_cast<uint32_t>(MulQ24(old[i], f));
      out[i] = static_cast<int32_t>(sum);
    }
    grainPosition_ += run;
    newHead_ += run;
    oldHead_ += run;
    done += run;
  }
  position_ += frameCount;
}

LRef<LSoundStream> MakeTimeStretch(LRef<LSoundStream> input, double speed) {
  if (!input || !input->Usable()) return input;
  if (speed > 0.0 && speed <= 8.0) return MakeRef<LPhaseVocoderStream>(std::move(input), speed);
  return MakeRef<LGrainStretchStream>(std::move(input), speed, speed, 0);
}

}  // namespace klangor
