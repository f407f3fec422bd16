#pragma once
// The chorus ("Chorus"): two taps on the modulated delay line (effects/modulated_line.h),
// d1 = D + M sin(phase 1) with gain g and d2 = D + M sin(phase 2) with gain g / 2, the phases
// advancing by 2 pi x 0.75 x modulation / rate and 2 pi x 1.25 x modulation / rate per frame.
// A one-channel input is first made two channels (dsp/channel_converter.h: each sample to
// both).

#include <array>
#include <cstdint>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/modulated_line.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kChorusName[] = "Chorus";

// The chorus over the input's channels (the processor makes a mono input stereo first).
class LChorusStream final : public LSoundFilter {
 public:
  LChorusStream(LRef<LSoundStream> input, const LModulation& modulation);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  LModulatedLine line_;
  int32_t origin_;  // the position of phase 0
  double firstPhase_ = 0.0;
  double secondPhase_ = 0.0;
  double firstStep_;
  double secondStep_;
};

class LChorusProcessor final : public LEffectProcessor {
 public:
  explicit LChorusProcessor(const LModulation& modulation) : modulation_(modulation) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  LModulation modulation_;
};

LEffectTask MakeChorusTask(const LModulation& modulation);

// The chorus over the document's selection. A one-channel document becomes two channels: the
// selection is replaced by the chorus and the rest of the sound by both channels of itself,
// in one pass; cancel or failure leave the document as it was.
LResult RunChorus(LSoundDocument& document, const LModulation& modulation, LProgress& progress);

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

// The menu command "Chorus...".
void ChorusCommand(LCommandContext& context);

}  // namespace klangor
