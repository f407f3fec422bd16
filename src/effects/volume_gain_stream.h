#pragma once
// The second pass of the automatic volume control: a stream that reads the samples and the
// window levels that the first pass stored in two files, and multiplies every channel by a
// Q24 gain that ramps from window to window.
//
// Each window's relative level is its level minus the channel's target, saturated; for two
// or more channels the louder of the first two counts. A level tracker follows these 50
// windows ahead of the output. At each window start the gain of channel c in dB is
//   sat(curve[sat(r - m)] + sat(-m - target(c)))
// with m the tracker's smoothed level and r its oldest entry, and the Q24 gain ramps towards
// it over 1.5 windows; over the last window the gain falls to nearly 0.
//
// Full scale 2097152; length windows x W frames; Position() counts the frames output. The
// files are read with positioned reads, so the stream owns its handles; Seek starts over
// and reads forward to the frame.

#include <cstdint>
#include <vector>

#include "audio/sound_stream.h"
#include "effects/level_tracker.h"
#include "platform/file.h"

namespace klangor {

struct LAutoVolumeParameters {
  int trackerLower = 2;   // stored negated by the tracker
  int trackerUpper = -8;  // stored negated by the tracker
  int lowKnee = -9;
  int highKnee = 2;
  double slope = -0.5;
};

// What the first pass found: the window size, the number of windows and the target level of
// every channel.
struct LAutoVolumeAnalysis {
  int32_t sampleRate = 44100;
  int channels = 1;
  int32_t windowFrames = 0;
  int64_t windowCount = 0;
  std::vector<int> targets;  // one per channel
};

class LVolumeGainStream final : public LSoundStream {
 public:
  static constexpr int kReadAheadWindows = 51;

  // `samples` holds the interleaved 32-bit frames, `levels` one level byte per channel per
  // window.
  LVolumeGainStream(LFile samples, LFile levels, const LAutoVolumeAnalysis& analysis,
                    const LAutoVolumeParameters& parameters = {});

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return position_; }
  int32_t Length() const override;
  void Seek(int32_t frame) override;

 private:
  void Restart();
  void Feed();
  int TargetGainDb(int channel) const;
  void StartWindow();
  void ReadSamples(int32_t* frames, int32_t frameCount);
  void Process(int32_t* frames, int32_t frameCount);

  LFile samples_;
  LFile levels_;
  LAutoVolumeAnalysis analysis_;
  LAutoVolumeParameters parameters_;
  LVolumeCurve curve_;
  LLevelTracker tracker_;
  std::vector<int> negatedTargets_;
  std::vector<int32_t> gains_;
  std::vector<int32_t> steps_;
  std::vector<int8_t> levelBytes_;
  int64_t nextLevelWindow_ = 0;  // the next window whose levels the tracker gets
  int64_t windowsLeft_ = 0;      // windows still to output
  int32_t framesLeft_ = 0;       // frames left in the current window
  int64_t framesRead_ = 0;       // frames taken from the sample file
  int32_t silenceLeft_ = 0;      // frames of silence before the start (after a negative seek)
  int32_t position_ = 0;
};

}  // namespace klangor
