#pragma once
// The modulated delays: phaser, flanger and chorus.
//
// Phaser and flanger share one feed-forward stream. The time is clamped to 0..1000 ms and
// the depth to 0..100 %; the base delay is D = rate x time div 1000 frames and the excursion
// M = D x depth div 100 frames; the line holds D + 2 + M frames; g = gain x 0.01; the phase
// starts at 0 and advances by 2 pi x modulation / rate per frame. For every frame
// d = sin(phase) x M + D, n = trunc(d), f = d - n, and for each channel the sample x is
// written to the line first, then
//   y = x + trunc(g x ((1 - f) x x[n frames earlier] + f x x[n + 1 frames earlier])).
// The phaser is the same stream with modulation 0 and depth 0: a fixed delay mixed in.
//
// The chorus reads two taps: d1 = D + M sin(phase 1) with gain g and d2 = D + M sin(phase 2)
// with gain g / 2, the phases advancing by 2 pi x 0.75 x modulation / rate and
// 2 pi x 1.25 x modulation / rate per frame. A one-channel input is first made two channels
// (effects/channel_converter.h: each sample to both).
//
// Seek clears the line and forwards the seek; the phases run on. The sums saturate at the
// 32-bit range; a modulation rate that makes the phase overflow counts as no modulation.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/preview_dialog.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kPhaserName[] = "Phaser";
inline constexpr char kFlangerName[] = "Flanger";
inline constexpr char kChorusName[] = "Chorus";

struct LModulation {
  int32_t timeMs = 0;
  double rateHz = 0.0;  // modulation rate
  int32_t depthPercent = 0;
  int32_t gainPercent = 0;
};

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
  double Delay(double sine) const;
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

class LFlangerStream final : public LSoundFilter {
 public:
  LFlangerStream(LRef<LSoundStream> input, const LModulation& modulation);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  LModulatedLine line_;
  double phase_ = 0.0;
  double step_;
};

// The chorus over the input's channels (the processor makes a mono input stereo first).
class LChorusStream final : public LSoundFilter {
 public:
  LChorusStream(LRef<LSoundStream> input, const LModulation& modulation);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  LModulatedLine line_;
  double firstPhase_ = 0.0;
  double secondPhase_ = 0.0;
  double firstStep_;
  double secondStep_;
};

// Phaser: the flanger stream with modulation 0 and depth 0.
class LPhaserProcessor final : public LEffectProcessor {
 public:
  LPhaserProcessor(int32_t timeMs, int32_t gainPercent) : timeMs_(timeMs), gainPercent_(gainPercent) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  int32_t timeMs_;
  int32_t gainPercent_;
};

class LFlangerProcessor final : public LEffectProcessor {
 public:
  explicit LFlangerProcessor(const LModulation& modulation) : modulation_(modulation) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  LModulation modulation_;
};

class LChorusProcessor final : public LEffectProcessor {
 public:
  explicit LChorusProcessor(const LModulation& modulation) : modulation_(modulation) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  LModulation modulation_;
};

LEffectTask MakePhaserTask(int32_t timeMs, int32_t gainPercent);
LEffectTask MakeFlangerTask(const LModulation& modulation);
LEffectTask MakeChorusTask(const LModulation& modulation);

// The chorus over the document's selection. A one-channel document becomes two channels: the
// selection is replaced by the chorus and the rest of the sound by both channels of itself,
// in one pass; cancel or failure leave the document as it was.
LResult RunChorus(LSoundDocument& document, const LModulation& modulation, LProgress& progress);

// The dialog "Phaser": time (edit 101, 0 to 10 ms) and gain (edit 102, 0 to 100 %).
class LPhaserDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Phaser";
  static constexpr int kTimeEdit = 101;
  static constexpr int kGainEdit = 102;
  static constexpr char kTimeMessage[] = "Verzögerungszeit muß zwischen 0 und 10 Millisekunden liegen";
  static constexpr char kGainMessage[] = "Steigerung in Prozent muß zwischen 0 und 100 liegen.";
  static constexpr std::array<const char*, 4> kPresets{"Voreinstellungen Wählen", "Stark", "Mittel", "Leicht"};

  LPhaserDialog(int32_t time, int32_t gain, const LSegmentList& selection)
      : LPreviewDialog(selection), timeMs(time), gainPercent(gain) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  LRef<LSoundStream> PreviewStream() const override;

  int32_t timeMs;
  int32_t gainPercent;
};

// The dialog "Flanger": time (101, 0 to 10 ms), modulation (102, decimal text, 0 to 5 Hz),
// depth (103, 0 to 100 %) and gain (104, 0 to 100 %).
class LFlangerDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Flanger";
  static constexpr char kModulationMessage[] = "Die Modulation (der Verzögerung) muß zwischen 0 und 5Hz liegen.";
  static constexpr char kDepthMessage[] = "Tiefe in Prozent muß zwischen 0 und 100 liegen.";
  static constexpr std::array<const char*, 4> kPresets{"Voreinstellungen Wählen", "Stark", "Mittel", "Leicht"};

  LFlangerDialog(int32_t time, std::string rate, int32_t depth, int32_t gain,
                 const LSegmentList& selection)
      : LPreviewDialog(selection), timeMs(time), modulation(std::move(rate)), depthPercent(depth), gainPercent(gain) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  LModulation Values() const;
  LRef<LSoundStream> PreviewStream() const override;

  int32_t timeMs;
  std::string modulation;
  int32_t depthPercent;
  int32_t gainPercent;
};

// The dialog "Chorus": time (101, 10 to 100 ms), modulation (102, decimal text, 0 to 2 Hz),
// depth (103, 0 to 30 %) and gain (104, 0 to 100 %).
class LChorusDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Chorus";
  static constexpr char kTimeMessage[] = "Verzögerungszeit muß zwischen 0 und 100 Millisekunden liegen";
  static constexpr char kModulationMessage[] = "Modulation (der Verzögerung) muß zwischen 0 und 2Hz liegen.";
  static constexpr char kDepthMessage[] = "Tiefe in Prozent muß zwischen 0 und 30 liegen.";
  static constexpr std::array<const char*, 5> kPresets{"Voreinstellungen Wählen", "Stark - Kurze Verzögerung",
                                                       "Stark - Lange Verzögerung", "Leicht - Kurze Verzögerung",
                                                       "Leicht - Lange Verzögerung"};

  LChorusDialog(int32_t time, std::string rate, int32_t depth, int32_t gain,
                const LSegmentList& selection)
      : LPreviewDialog(selection), timeMs(time), modulation(std::move(rate)), depthPercent(depth), gainPercent(gain) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  LModulation Values() const;
  LRef<LSoundStream> PreviewStream() const override;

  int32_t timeMs;
  std::string modulation;
  int32_t depthPercent;
  int32_t gainPercent;
};

}  // namespace klangor
