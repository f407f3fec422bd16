#pragma once
// Signals, slicing readers and a recording progress object for the dynamics tests.

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/sound_stream.h"
#include "support/test_streams.h"

namespace klangor::test {

inline constexpr double kPi = 3.14159265358979323846;

// A sine per channel (440 Hz + 110 Hz per channel) whose amplitude switches between `quiet`
// and `loud` every `passageMs` milliseconds, starting quiet.
inline LRef<LSoundStream> Passages(int32_t rate, int channels, int32_t length, int32_t quiet, int32_t loud,
                                   int32_t passageMs, int32_t fullScale = 2097152) {
  return MakeRef<LFunctionStream>(
      rate, channels, length,
      [=](int64_t frame, int channel) {
        const int64_t passage = frame * 1000 / rate / passageMs;
        const double amplitude = passage % 2 == 0 ? quiet : loud;
        const double phase = 2.0 * kPi * (440.0 + 110.0 * channel) * static_cast<double>(frame) / rate;
        return static_cast<int32_t>(std::lround(amplitude * std::sin(phase)));
      },
      fullScale);
}

// Reads `frameCount` frames in pieces of random sizes (0 to maxPiece frames).
inline std::vector<int32_t> ReadInSlices(LSoundStream& stream, int32_t frameCount, uint32_t seed,
                                         int32_t maxPiece = 5000) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int32_t> size(0, maxPiece);
  std::vector<int32_t> samples(static_cast<size_t>(frameCount) * stream.Channels());
  int32_t done = 0;
  while (done < frameCount) {
    const int32_t n = std::min(size(random), frameCount - done);
    stream.Read(samples.data() + static_cast<size_t>(done) * stream.Channels(), n);
    done += n;
  }
  return samples;
}

inline std::vector<int32_t> ReadFrames(LSoundStream& stream, int32_t frameCount) {
  std::vector<int32_t> samples(static_cast<size_t>(frameCount) * stream.Channels());
  stream.Read(samples.data(), frameCount);
  return samples;
}

// Records what a run reports; cancels when asked for the (n+1)-th time (never when n < 0).
class LRecordingProgress final : public LProgress {
 public:
  explicit LRecordingProgress(int cancelAt = -1) : left_(cancelAt) {}
  void SetTitle(const std::string& text) override { title = text; }
  void SetStatusLine(const std::string& text) override { status = text; }
  void SetProgress(int64_t done, int64_t total) override {
    fractions.push_back(static_cast<double>(done) / static_cast<double>(total));
  }
  bool Cancelled() override {
    ++questions;
    return left_ >= 0 && left_-- == 0;
  }

  std::string title;
  std::string status;
  std::vector<double> fractions;
  int questions = 0;

 private:
  int left_;
};

}  // namespace klangor::test
