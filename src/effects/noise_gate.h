#pragma once
// The multi-band noise gate ("Multi-Band Noise Gating anwenden...", task "Noise Reduction").
//
// The input is split, per channel with the one-pole filters of effects/one_pole.h, into four
// bands: the part below 50 Hz is removed (high-pass), band 1 is the 400 Hz low-pass of the
// rest, band 2 the 1100 Hz low-pass of what remains after taking band 1 away, band 3 the
// 2600 Hz low-pass of the remainder after that, and band 4 the final remainder. The output is
// the sum of the bands, each multiplied (Q24) by its gain, so content below 50 Hz is always
// removed.
//
// Windows of W = rate div 30 frames (20..8192). A band's gain for a window whose peak over
// all channels is P, with its threshold byte t (gate level G: bands G + 3, G, G - 3, G) and
// T = trunc(2^33 / (10^(t/20) x 2^17)): v = Q24(P, T) - 512; 0 when v < 0, unity when
// v > 2048, else v x 8192. The gate is closed below 131072 x 10^(t/20) and fully open from
// 655360 x 10^(t/20).
//
// The stream splits two windows ahead of its output. At the start (and after a seek) the
// gains are those of the first window. Whenever a window has been output, the next one
// becomes current, one more is split, and each band's gain ramps from where it is towards
// the gain of that newly split window (the window after the current one, so that the gate
// opens in time): rising over W frames, falling over 4 W frames (band 1) or 2 W frames
// (bands 2 to 4); step = difference div that count.

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

inline constexpr char kNoiseReductionTitle[] = "Noise Reduction";
inline constexpr char kNoiseGateUndoName[] = "Noise Reduction (Multi-band Noise Gating)";
inline constexpr int kNoiseGateBands = 4;

// The gate's four threshold bytes for the gate level G (each within -127..127).
std::array<int, kNoiseGateBands> NoiseGateThresholds(int32_t level);
// The band gain (Q24) of a window peak for a threshold byte.
int32_t NoiseGateGain(int32_t peak, int threshold);

class LNoiseGateStream final : public LSoundFilter {
 public:
  LNoiseGateStream(LRef<LSoundStream> input, int32_t level);
  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  void Seek(int32_t frame) override;

  int32_t WindowFrames() const { return window_; }

 private:
  using LBandSet = std::array<std::vector<int32_t>, kNoiseGateBands>;
  void Prime();
  void SplitNext(LBandSet& set);
  std::array<int32_t, kNoiseGateBands> GainsOf(const LBandSet& set) const;

  std::array<int, kNoiseGateBands> thresholds_;
  std::array<int32_t, 4> coefficients_;  // 50, 400, 1100 and 2600 Hz
  int32_t window_;
  std::vector<LOnePoleHighPass> dc_;                         // per channel
  std::vector<std::array<LOnePoleLowPass, 3>> lowPasses_;    // per channel
  std::vector<int32_t> raw_;
  LBandSet current_;
  LBandSet next_;
  std::array<int32_t, kNoiseGateBands> gains_{};
  std::array<int32_t, kNoiseGateBands> steps_{};
  int32_t offset_ = 0;  // frames of the current window already output
  bool primed_ = false;
};

class LNoiseGateProcessor final : public LEffectProcessor {
 public:
  explicit LNoiseGateProcessor(int32_t level) : level_(level) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  int32_t level_;
};

LEffectTask MakeNoiseGateTask(int32_t level);

// The dialog: a decibel slider (101) from -40 to 0 and the preset "Störgeräusche Entfernen"
// (-20). The slider holds its range.
class LNoiseGateDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Noise Reduction";
  static constexpr int kLevelSlider = 101;
  static constexpr int32_t kLevelMin = -40;
  static constexpr int32_t kLevelMax = 0;
  static constexpr std::array<const char*, 2> kPresets{"Voreinstellungen Wählen", "Störgeräusche Entfernen"};

  LNoiseGateDialog(int32_t level, const LSegmentList& selection);
  std::string Title() const override { return kTitle; }
  void SetLevel(int32_t level);
  int32_t Level() const { return level_; }
  void ChoosePreset(int index);
  LRef<LSoundStream> PreviewStream() const override;

 private:
  int32_t level_;
};

// The menu command "Multi-Band Noise Gating anwenden...".
void NoiseGateCommand(LCommandContext& context);

}  // namespace klangor
