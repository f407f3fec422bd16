#pragma once
// The flanger ("Flanger"): a modulated feed-forward delay (effects/modulated_line.h). For
// every frame d = sin(phase) x M + D, and for each channel the sample x is written to the
// line first, then y = x + trunc(g x ((1 - f) x x[n frames earlier] + f x x[n + 1 frames
// earlier])); the phase advances by 2 pi x modulation / rate per frame. A modulation rate
// that makes the phase step overflow counts as no modulation.

#include <array>
#include <cstdint>
#include <string>

#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/modulated_line.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"

namespace klangor {

inline constexpr char kFlangerName[] = "Flanger";

class LFlangerStream final : public LSoundFilter {
 public:
  LFlangerStream(LRef<LSoundStream> input, const LModulation& modulation);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  LModulatedLine line_;
  int32_t origin_;  // the position of phase 0
  double phase_ = 0.0;
  double step_;
};

class LFlangerProcessor final : public LEffectProcessor {
 public:
  explicit LFlangerProcessor(const LModulation& modulation) : modulation_(modulation) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  LModulation modulation_;
};

LEffectTask MakeFlangerTask(const LModulation& modulation);

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

// The menu command "Flanger".
void FlangerCommand(LCommandContext& context);

}  // namespace klangor
