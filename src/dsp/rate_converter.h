#pragma once
// The polyphase sample-rate converter.
//
// Design, for input rate Ri and output rate Ro (DesignRateConverter):
// - The step is approximated by s / P with P (the phase count) from 1 to 255: the first P
//   whose rounded ratio trunc(P x Ri/Ro + 0.5) / P lies within 0.001 of Ri/Ro, else the
//   closest one found. 44100 to 48000 Hz gives P = 37, s = 34, so the output runs 0.018 %
//   fast; 44100 to 22050 Hz gives P = 1, s = 2.
// - Every phase j has 63 taps in Q16: a sinc at cutoff fc under a Kaiser window of
//   parameter beta, h = 65536 fc / I0(beta) x sinc(pi fc t) x I0(beta sqrt(1 - t^2/1024))
//   at t = (i - 31) - j/P, rounded half away from zero. Upsampling uses fc = 0.975 and
//   beta = 2.12; downsampling fc = Ro/Ri - 0.046875 (0.09375 in the first stage of a two-stage
//   conversion) and beta = 4.538.
// - A conversion to less than a quarter of the input rate (Ro < Ri div 4) runs in two
//   stages, first to 2 Ro and then to Ro (MakeRateConverter).
//
// Reading: output frame f is centred on input time f s / P. Its window is the 63 input
// frames around floor(f s / P) and its taps are those of phase (f s) mod P. The input is
// buffered in blocks of up to 8192 frames; each block (with the 63 frames before it) is
// scaled right by the smallest shift b that keeps its peak within 16 bits, so that the
// multiply-adds run on 16-bit samples. The two halves of the window (taps 0..31 and 32..62)
// are summed apart and halved, and the output is (sum + 2^(14-b)) >> (15 - b).
//
// The sums are exact (each half is accumulated in two 32-bit parts that cannot overflow),
// so a signal that drives the filter far beyond full scale still gives the right value. The
// stream's full scale is the input's doubled (when that is 1048576 or less): the filter
// overshoots near the band edge. Output does not depend on how the caller slices its reads.
// A read after Seek(f) gives what reading from the start gives from frame f on, exactly for
// input within 16 bits; louder input agrees within the rounding of its block shifts, since
// the blocks start where the reading starts.

#include <cstdint>
#include <vector>

#include "audio/sound_stream.h"

namespace klangor {

inline constexpr int kRateTaps = 63;
inline constexpr int kRateMaxPhases = 255;

struct LRateDesign {
  int32_t inputRate = 0;
  int32_t outputRate = 0;
  int phases = 1;    // P
  int32_t step = 1;  // s: input advance per output frame, in 1/P frames
  double cutoff = 0.0;
  double beta = 0.0;
  bool firstStage = false;
  std::vector<int32_t> taps;  // phases x 63, Q16, phase-major
};

// The modified Bessel function of order zero by its power series up to (x/2)^12 / (6!)^2.
double BesselI0(double x);

// The converter from `inputRate` to `outputRate` (both above 0). A ratio that no P up to
// 255 can represent with a step of at least 1 (more than 510 times up) uses P = 255, s = 1;
// steps are capped at 2^24.
LRateDesign DesignRateConverter(int32_t inputRate, int32_t outputRate, bool firstStage);

// True when a conversion from `inputRate` to `outputRate` runs in two stages.
inline bool RateNeedsTwoStages(int32_t inputRate, int32_t outputRate) {
  return outputRate < inputRate / 4;
}

class LRateConverterStream final : public LSoundFilter {
 public:
  // Converts the input to `outputRate` in one stage as `design` says. Starts at the output
  // frame that corresponds to the input's position.
  LRateConverterStream(LRef<LSoundStream> input, LRateDesign design);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return static_cast<int32_t>(position_); }
  // ceil(input length x P / s): the output frames whose centre lies inside the input.
  int32_t Length() const override;
  void Seek(int32_t frame) override;

  const LRateDesign& Design() const { return design_; }
  // The stream it converts (in a two-stage conversion, the first stage).
  LSoundStream& Source() const { return Input(); }

 private:
  void Restart(int64_t frame);
  void Refill();
  void ReadInput(int32_t* frames, int32_t frameCount);
  void Convert(int32_t* out, int32_t frameCount);

  LRateDesign design_;
  int channels_;
  int phases_;
  int32_t step_;
  bool wide_;  // the AVX2 path, chosen when the converter is made
  // Taps split as h = 256 x high + low (low 0..255), phase-major, 64 per phase (the last 0).
  std::vector<int16_t> tapsHigh_;
  std::vector<int16_t> tapsLow_;
  std::vector<std::vector<int16_t>> buffer_;  // per channel: scaled input frames
  std::vector<int32_t> raw_;                  // one block as read, interleaved
  std::vector<int32_t> windowStart_;          // per output frame of a run: buffer index
  std::vector<int32_t> windowPhase_;          // and phase
  int32_t buffered_ = 0;  // frames in the buffer
  int32_t window_ = 0;    // buffer index of the first tap of the next output frame
  int32_t phase_ = 0;
  int shift_ = 0;         // b of the buffered frames
  int64_t position_ = 0;  // output frame
  int64_t inputPosition_ = 0;  // input frame of the next frame to read (may be negative)
  bool pending_ = true;   // the input is not yet positioned for position_
};

// The input converted to `outputRate`: the input itself when the rates are equal, the rate
// is not above 0 or the input is not usable; two stages below a quarter of the input rate.
// When even the first stage's cutoff would not be positive (Ro at most 3/64 of Ri, beyond
// any rate the program accepts from the user), that stage is itself split the same way.
LRef<LSoundStream> MakeRateConverter(LRef<LSoundStream> input, int32_t outputRate);

// The input labelled with another rate, sample for sample: converting to Ri / f and playing
// the result at Ri makes it f times as fast and as high.
class LRateLabelStream final : public LSoundFilter {
 public:
  LRateLabelStream(LRef<LSoundStream> input, int32_t sampleRate);
  void Read(int32_t* frames, int32_t frameCount) override { Input().Read(frames, frameCount); }
};

}  // namespace klangor
