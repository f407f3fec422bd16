#include "effects/volume_gain_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "audio/sample_format.h"
#include "dsp/db_table.h"
#include "dsp/fixed_point.h"

namespace klangor {

LVolumeGainStream::LVolumeGainStream(LFile samples, LFile levels, const LAutoVolumeAnalysis& analysis,
                                     const LAutoVolumeParameters& parameters)
    : LSoundStream(analysis.sampleRate, kDocumentFullScale, analysis.channels),
      samples_(std::move(samples)),
      levels_(std::move(levels)),
      analysis_(analysis),
      parameters_(parameters),
      curve_(BuildVolumeCurve(parameters.lowKnee, parameters.highKnee, parameters.slope)),
      tracker_(parameters.trackerLower, parameters.trackerUpper) {
  analysis_.windowFrames = std::max(analysis_.windowFrames, 1);
  analysis_.windowCount = std::max<int64_t>(analysis_.windowCount, 0);
  const auto channels = static_cast<size_t>(Channels());
  negatedTargets_.assign(channels, 0);
  for (size_t c = 0; c < channels && c < analysis_.targets.size(); ++c) {
    negatedTargets_[c] = SaturateDb(-analysis_.targets[c]);
  }
  gains_.assign(channels, 0);
  steps_.assign(channels, 0);
  levelBytes_.assign(channels, 0);
  Restart();
}

int32_t LVolumeGainStream::Length() const {
  const int64_t frames = analysis_.windowCount * analysis_.windowFrames;
  return SaturateToInt32(frames);
}

void LVolumeGainStream::Restart() {
  tracker_ = LLevelTracker(parameters_.trackerLower, parameters_.trackerUpper);
  nextLevelWindow_ = 0;
  for (int i = 0; i < kReadAheadWindows; ++i) Feed();
  for (size_t c = 0; c < gains_.size(); ++c) {
    gains_[c] = GainOfDb(TargetGainDb(static_cast<int>(c)));
    steps_[c] = 0;
  }
  windowsLeft_ = analysis_.windowCount;
  framesLeft_ = 0;
  framesRead_ = 0;
  silenceLeft_ = 0;
  position_ = 0;
}

void LVolumeGainStream::Feed() {
  if (nextLevelWindow_ < analysis_.windowCount) {
    const int channels = Channels();
    const int64_t got = levels_.ReadAt(nextLevelWindow_ * channels, levelBytes_.data(), channels);
    ++nextLevelWindow_;
    if (got == channels) {
      int level = SaturateDb(levelBytes_[0] + negatedTargets_[0]);
      if (channels >= 2) level = std::max(level, SaturateDb(levelBytes_[1] + negatedTargets_[1]));
      tracker_.Add(level);
      return;
    }
  }
  tracker_.Advance();
}

int LVolumeGainStream::TargetGainDb(int channel) const {
  const int smoothed = tracker_.Smoothed();
  const int shortTerm = VolumeCurveGain(curve_, SaturateDb(tracker_.Oldest() - smoothed));
  const int longTerm = SaturateDb(-smoothed + negatedTargets_[static_cast<size_t>(channel)]);
  return SaturateDb(shortTerm + longTerm);
}

void LVolumeGainStream::StartWindow() {
  const int32_t window = analysis_.windowFrames;
  for (size_t c = 0; c < gains_.size(); ++c) {
    if (windowsLeft_ >= 2) {
      const int64_t target = GainOfDb(TargetGainDb(static_cast<int>(c)));
      steps_[c] = static_cast<int32_t>((target - gains_[c]) / (window + window / 2));
    } else {
      steps_[c] = -(gains_[c] / window);
    }
  }
  if (windowsLeft_ > 0) --windowsLeft_;
  if (windowsLeft_ > LLevelTracker::kRingSize) {
    Feed();
  } else {
    tracker_.Advance();
  }
  framesLeft_ = window;
}

void LVolumeGainStream::ReadSamples(int32_t* frames, int32_t frameCount) {
  const auto bytes = static_cast<int64_t>(frameCount) * Channels() * 4;
  int64_t got = samples_.ReadAt(framesRead_ * Channels() * 4, frames, bytes);
  got = std::max<int64_t>(got, 0);
  if (got < bytes) std::memset(reinterpret_cast<char*>(frames) + got, 0, static_cast<size_t>(bytes - got));
  framesRead_ += frameCount;
}

void LVolumeGainStream::Process(int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  while (frameCount > 0) {
    if (framesLeft_ == 0) StartWindow();
    const int32_t n = std::min(framesLeft_, frameCount);
    ApplyChannelGainRamps(frames, n, channels, gains_.data(), steps_.data());
    frames += static_cast<size_t>(n) * channels;
    frameCount -= n;
    framesLeft_ -= n;
  }
}

void LVolumeGainStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  position_ = static_cast<int32_t>(
      std::min<int64_t>(int64_t{position_} + frameCount, std::numeric_limits<int32_t>::max()));
  if (silenceLeft_ > 0) {
    const int32_t zeros = std::min(silenceLeft_, frameCount);
    std::fill_n(frames, static_cast<size_t>(zeros) * Channels(), 0);
    frames += static_cast<size_t>(zeros) * Channels();
    frameCount -= zeros;
    silenceLeft_ -= zeros;
  }
  ReadSamples(frames, frameCount);
  Process(frames, frameCount);
}

void LVolumeGainStream::Seek(int32_t frame) {
  Restart();
  if (frame < 0) {
    silenceLeft_ = frame == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max() : -frame;
    position_ = frame;
    return;
  }
  std::vector<int32_t> scratch(static_cast<size_t>(8192) * Channels());
  for (int32_t left = frame; left > 0;) {
    const int32_t n = std::min(left, 8192);
    Read(scratch.data(), n);
    left -= n;
  }
}

}  // namespace klangor
