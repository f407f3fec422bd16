#pragma once
// The spectra of the noise reduction and the noise profile estimated from them.
//
// Transform: N points for rate R (TransformSizeFor(R div 33): 1024 at 44100 Hz, 256 at
// 8000 Hz); a frame of N samples of one channel is multiplied by the Hamming window
// 0.54 - 0.46 cos(2 pi i / N) and transformed with the forward transform scaled by 1 / N.
//
// Level byte of a bin magnitude m: 20 log10(m / 92682), plus 0.5 when m / 92682 is at least
// 1 and minus 0.5 below, truncated toward zero and clamped to -127..127 (m = 0 gives -127).
// The byte d stands for the magnitude 10^(d / 20) x 92682.
//
// Profile: for every channel and every bin below N / 2 a histogram of the level bytes over
// the consecutive whole blocks of N frames of the source. With F blocks and the threshold q
// (0 to 100), the count c = ((F div 10) x q) div 10; a bin's noise level is the lowest level
// byte at which the histogram's running sum, from the bottom up, reaches max(c, 1), so q = 0
// takes the lowest level the bin had. A bin without any block has no noise (-127).

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "effects/fft.h"
#include "store/segment_list.h"

namespace klangor {

inline constexpr int kMaxSpectralSize = 8192;
inline constexpr double kBinLevelReference = 92682.0;

int SpectralSize(int32_t sampleRate);
int BinLevel(double magnitude);
double BinMagnitude(int level);

// The Hamming-windowed forward transform of one channel's frame, scaled by 1 / N.
class LSpectralFrame {
 public:
  explicit LSpectralFrame(int size);
  int Size() const { return size_; }
  const std::vector<float>& Window() const { return window_; }
  // `samples`: N values; `re` and `im`: N / 2 + 1 bins.
  void Forward(const float* samples, float* re, float* im);
  // The inverse of Forward's transform (without the window): N values.
  void Inverse(const float* re, const float* im, float* samples);

 private:
  int size_;
  LFft fft_;
  std::vector<float> window_;
  std::vector<float> windowed_;
};

struct LNoiseProfile {
  int size = 0;      // N
  int channels = 0;
  std::vector<std::vector<double>> noise;  // per channel, N / 2 magnitudes
};

// Collects the level histograms of what it is given, in whole blocks of N frames.
class LNoiseProfileSink final : public LSoundSink {
 public:
  LNoiseProfileSink(int32_t sampleRate, int channels);
  void Write(const int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override { SetFramesWritten(frame); }
  LNoiseProfile Profile(int32_t threshold) const;

 private:
  int size_;
  LSpectralFrame frame_;
  std::vector<float> block_;  // interleaved, N frames
  int32_t filled_ = 0;
  int64_t blocks_ = 0;
  std::vector<uint32_t> histograms_;  // channel, bin, level + 128
  std::vector<float> samples_, re_, im_;
};

// Estimates the profile over the document's selection (the blocks start at its start).
// Failed (2) when the transform would exceed 8192 points; 1 when cancelled.
LResult EstimateNoiseProfile(const LSegmentList& sound, int32_t start, int32_t end, int32_t threshold,
                             LProgress& progress, LNoiseProfile& profile);

// The captured noise sample: one per process, kept until the program ends or a new one is
// captured (thread-safe).
void SetCapturedNoiseSample(LNoiseProfile profile);
std::optional<LNoiseProfile> CapturedNoiseSample();

}  // namespace klangor
