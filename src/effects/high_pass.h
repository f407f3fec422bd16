#pragma once
// The high-pass filter ("High-Pass Filter...", task "Low Frequency Cut"): a second-order
// recursive filter in Q24 fixed point.
//
// Design for cutoff f (10 Hz when not positive) and rate R (44100 when not positive):
// w = 2 pi f / R, c = cos w, alpha = sin w x 0.7072135785007072, and, truncated to Q24,
//   a1 = -2c / (1 + alpha), a2 = (1 - alpha) / (1 + alpha),
//   b0 = (1 + c) / 2 / (1 + alpha), b1 = -(1 + c) / (1 + alpha)   (b2 = b0).
// Per sample x of a channel, with Q24 products (dsp/fixed_point.h) and 32-bit sums that wrap:
//   y = Q24(x + x2, b0) - Q24(y1, a1) - Q24(y2, a2) + Q24(x1, b1),
// then x2 = x1, x1 = x, y2 = y1, y1 = y. The stream's full scale is 4194303; Seek clears the
// states and forwards the seek.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/one_pole.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"

namespace klangor {

inline constexpr char kHighPassTaskName[] = "Low Frequency Cut";
inline constexpr char kHighPassUndoName[] = "High-Pass Filter";
inline constexpr int32_t kHighPassFullScale = 4194303;

struct LHighPassCoefficients {
  int32_t a1 = 0;
  int32_t a2 = 0;
  int32_t b0 = 0;
  int32_t b1 = 0;
};

LHighPassCoefficients DesignHighPass(int32_t cutoffHz, int32_t sampleRate);

class LHighPassStream final : public LSoundFilter {
 public:
  LHighPassStream(LRef<LSoundStream> input, const LHighPassCoefficients& coefficients);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  struct LState {
    int32_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  };
  LHighPassCoefficients k_;
  std::vector<LState> states_;  // one per channel
};

class LHighPassProcessor final : public LEffectProcessor {
 public:
  explicit LHighPassProcessor(int32_t cutoffHz) : cutoffHz_(cutoffHz) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  int32_t cutoffHz_;
};

LEffectTask MakeHighPassTask(int32_t cutoffHz);

// The one-pole high-pass of effects/one_pole.h over every channel (the dialog's preview).
class LOnePoleHighPassStream final : public LSoundFilter {
 public:
  LOnePoleHighPassStream(LRef<LSoundStream> input, int32_t cutoffHz);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  std::vector<LOnePoleHighPass> filters_;
};

// The dialog "High-Pass Filter": the cutoff in hertz (edit 101; any whole number is accepted,
// the design takes 10 Hz for one that is not positive) and the presets. The preview plays the
// one-pole high-pass at the same cutoff.
class LHighPassDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "High-Pass Filter";
  static constexpr int kCutoffEdit = 101;
  static constexpr int32_t kCutoffMin = INT32_MIN;
  static constexpr int32_t kCutoffMax = INT32_MAX;
  static constexpr std::array<const char*, 3> kPresets{"Voreinstellungen Wählen", "Allgemeines Audio Cleanup",
                                                       "Radio- / Telefon -Qualität"};

  LHighPassDialog(int32_t cutoff, const LSegmentList& selection) : LPreviewDialog(selection), cutoffHz(cutoff) {}
  std::string Title() const override { return kTitle; }
  void ChoosePreset(int index);
  LRef<LSoundStream> PreviewStream() const override;

  int32_t cutoffHz;
};

// The menu command "High-Pass Filter...".
void HighPassCommand(LCommandContext& context);

}  // namespace klangor
