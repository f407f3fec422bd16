#pragma once
// The delay line of the modulated effects (phaser, flanger, chorus), their parameters and the
// messages their dialogs share.
//
// The time is clamped to 0..1000 ms and the depth to 0..100 %; the base delay is
// D = rate x time div 1000 frames and the excursion M = D x depth div 100 frames; the line
// holds D + 2 + M frames; g = gain x 0.01. A tap at delay d reads n = trunc(d) and n + 1
// frames before the newest, weighted 1 - f and f (f = d - n); the sums saturate at the 32-bit
// range.
//
// The modulation phase of the streams is a function of the frame position: the frame p
// frames after the position the stream was made at has phase p x step (the phase is 0 there
// and advances by step per frame). A seek clears the line and sets the phase of the frame
// sought, so a read after a seek does not depend on what was read before. The effect runs
// make their streams at the selection start, where the phase is 0.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace klangor {

struct LModulation {
  int32_t timeMs = 0;
  double rateHz = 0.0;  // modulation rate
  int32_t depthPercent = 0;
  int32_t gainPercent = 0;
};

inline constexpr char kDelayTimeMessage[] = "Verzögerungszeit muß zwischen 0 und 10 Millisekunden liegen";
inline constexpr char kDelayGainMessage[] = "Steigerung in Prozent muß zwischen 0 und 100 liegen.";

// The phase step per frame, 2 pi x factor x modulation / rate; one that is not finite means
// no modulation.
double ModulationPhaseStep(double factor, double modulationHz, int32_t sampleRate);

// The phase at `frame` of a stream made at `origin`: (frame - origin) x step.
inline double ModulationPhaseAt(int64_t frame, int64_t origin, double step) {
  return static_cast<double>(frame - origin) * step;
}

// The frames whose sines are taken at a time before they are mixed.
inline constexpr int32_t kSineBlock = 256;

// The delay line shared by the modulated streams: frames of the stream's channels, the newest
// at the write index.
class LModulatedLine {
 public:
  // Where a delay of d frames reads: n = trunc(d) and n + 1 frames before the newest frame,
  // weighted 1 - f and f.
  struct LPlace {
    size_t newer;  // sample index of channel 0 of the frame n earlier
    size_t older;  // the same for n + 1 earlier
    double fraction;
  };

  LModulatedLine(const LModulation& modulation, int32_t sampleRate, int channels);
  int32_t BaseFrames() const { return base_; }            // D
  int32_t ExcursionFrames() const { return excursion_; }  // M
  double Gain() const { return gain_; }
  void Clear();
  // The delay D + M x sine; a sine that is not a number gives D.
  double Delay(double sine) const {  // inline: the streams call it for every frame
    if (excursion_ == 0) return base_;
    const double delay = sine * excursion_ + base_;
    return delay >= 0.0 && delay <= base_ + excursion_ ? delay : base_;
  }
  LPlace Place(double delay) const;
  // Each frame of `frames` in turn: written as the newest frame, then mixed with the
  // gain x tap at delays[i] (and, with a second list, secondGain x tap at second[i]); the sum
  // saturates at the 32-bit range. The write index advances by `frameCount`.
  void Mix(int32_t* frames, int32_t frameCount, const double* delays, double gain, const double* second,
           double secondGain);

 private:
  int channels_;
  int32_t base_;
  int32_t excursion_;
  double gain_;
  template <int kChannels, bool kTwoTaps>
  void MixFrames(int32_t* frames, int32_t frameCount, const double* delays, double gain, const double* second,
                 double secondGain, int channels);

  int32_t frames_;
  std::vector<int32_t> line_;
  int32_t write_ = 0;  // frame index of the newest frame
};

}  // namespace klangor
