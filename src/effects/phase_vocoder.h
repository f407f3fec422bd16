#pragma once
// The phase vocoder time stretch: the input plays at speed v (0 < v <= 8) at the same pitch,
// so N input frames become N / v output frames.
//
// Transform size N from the rate (x = rate div 32, TransformSizeFor: 2048 at 44100 Hz),
// N / 2 bins. The synthesis hop is N / 8 frames; the analysis hop is trunc(N / 8 x v) frames
// plus the rest in (rounded) millionths carried from frame to frame, and h is the synthesis
// hop over the analysis hop. Every frame, per channel, the last N input frames under the
// Hamming window (scaled by 1 / sqrt(max(0.2, v))) are transformed. Each bin k below N / 2
// keeps a running phase P(k) that follows its measured phase minus the advance
// k x 2 pi A / N expected at the analysis position A; its change over the hop is the bin's
// own frequency.
//
// Output phases: the first frame keeps the measured ones. After that each spectral peak
// (a bin louder than both neighbours) advances by k x 2 pi hop / N plus h times the change of
// its running phase, and the bins around it, up to the quietest bin towards the next peak,
// keep their measured phase offsets to it (identity phase locking). Scaling every bin's whole
// running phase by h instead would scatter the bins of one partial, so that a steady tone
// loses several decibels depending on the speed. The spectrum is completed conjugate-
// symmetrically (bin N - k is the conjugate of bin k, bin N / 2 is 0), so the inverse
// transform is real, and the frames are joined by weighted overlap-add: each is multiplied by
// the Hamming window again and the sum is divided by the windows' overlap, so that a steady
// sound keeps its level apart from the analysis window's scale 1 / sqrt(max(0.2, v)).
//
// Output frame t corresponds to input time t x v: the first frames are aligned with the
// input rather than delayed by the transform. Seek(f) restarts there from a first frame.
// Output does not depend on how the caller slices its reads. The full scale is the input's
// doubled, up to 2097152.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/sound_stream.h"
#include "effects/fft.h"
#include "platform/second_lane.h"

namespace klangor {

// The transform size of the time stretch at `sampleRate`.
int PhaseVocoderSize(int32_t sampleRate);

class LPhaseVocoderStream final : public LSoundFilter {
 public:
  // `speed` within (0, 8]; values outside are brought into it.
  LPhaseVocoderStream(LRef<LSoundStream> input, double speed);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return static_cast<int32_t>(position_); }
  // The input length x h (rounded up): output frames for all input frames.
  int32_t Length() const override;
  void Seek(int32_t frame) override;

  int TransformSize() const { return size_; }
  int32_t SynthesisHop() const { return synthesisHop_; }
  int32_t AnalysisHop() const { return hopWhole_; }
  int32_t AnalysisHopMillionths() const { return hopMillionths_; }

 private:
  void Restart(int64_t frame);
  int64_t AnalysisEnd(int64_t frameIndex) const;
  void ReadInputUpTo(int64_t end);
  void ProcessFrame();
  // The work space of one channel's transform: one for this thread and one for the second
  // lane, which takes every other channel of a frame.
  struct LScratch {
    explicit LScratch(int size);
    LFft fft;
    std::vector<float> magnitude;  // of the frame being processed, per bin, with a 0 on each side
    std::vector<float> measured;
    std::vector<float> change;     // of the running phases over this hop
    std::vector<float> lead;       // per bin: its advance minus its measured phase
    std::vector<int32_t> owner;    // per bin: the peak whose region it is in
    std::vector<int32_t> peakAt;   // per bin: k for a peak, else N / 2
    std::vector<int32_t> fallAt;   // per bin: k when louder than bin k + 1, else N / 2 - 1
    std::vector<float> frame;
    std::vector<float> re;
    std::vector<float> im;
    std::vector<float> back;
  };
  void ProcessChannel(int channel, const int32_t* firstFrame, LScratch& scratch);

  int channels_;
  int size_;             // N
  int32_t synthesisHop_;  // N / 8
  int32_t hopWhole_;     // whole frames of the analysis hop
  int32_t hopMillionths_;
  double ratio_;         // h = synthesis hop / analysis hop
  int64_t startOffset_;  // analysis position of frame 0
  bool wide_;  // the AVX2 copies of the per-bin loops (UseAvx2() when made)
  std::vector<float> window_;     // analysis: Hamming / sqrt(max(0.2, v))
  std::vector<float> synthesis_;  // Hamming / overlap, with the inverse transform's 1 / N
  std::vector<float> phase_;      // per channel, N / 2 running phases (kept to one turn)
  std::vector<float> output_;     // per channel, N / 2 output phases of the last frame
  bool firstFrame_ = true;
  std::vector<float> overlap_;    // per channel, N samples of output being summed
  std::unique_ptr<LScratch> scratch_;
  std::unique_ptr<LScratch> laneScratch_;
  const int32_t* laneFirst_ = nullptr;  // the frame the second lane works on
  std::unique_ptr<LSecondLane> lane_;   // with two channels or more
  std::vector<int32_t> input_;    // interleaved input frames from inputStart_
  int64_t inputStart_ = 0;
  int64_t inputEnd_ = 0;          // input frame after the last one buffered
  int32_t inputCapacity_;         // frames
  int64_t sourcePosition_ = 0;    // where the input stream is (reads of negative frames are zeros)
  int64_t frameIndex_ = 0;        // n of the next frame
  int64_t analysisEnd_ = 0;       // A of the last frame
  std::vector<int32_t> ready_;    // finished output frames, interleaved
  int32_t readyOffset_ = 0;       // frames of ready_ already handed out
  int32_t readyCount_ = 0;
  int64_t skip_ = 0;              // output frames still to drop before position_
  int64_t position_ = 0;
  bool pending_ = true;
};

}  // namespace klangor
