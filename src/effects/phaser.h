#pragma once
// The phaser ("Phaser"): the flanger's stream (effects/flanger.h) with modulation 0 and
// depth 0, a fixed delay of the phaser time mixed in with the phaser gain.

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

inline constexpr char kPhaserName[] = "Phaser";

// Phaser: the flanger stream with modulation 0 and depth 0.
class LPhaserProcessor final : public LEffectProcessor {
 public:
  LPhaserProcessor(int32_t timeMs, int32_t gainPercent) : timeMs_(timeMs), gainPercent_(gainPercent) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  int32_t timeMs_;
  int32_t gainPercent_;
};

LEffectTask MakePhaserTask(int32_t timeMs, int32_t gainPercent);

// The dialog "Phaser": time (edit 101, 0 to 10 ms) and gain (edit 102, 0 to 100 %).
class LPhaserDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Phaser";
  static constexpr int kTimeEdit = 101;
  static constexpr int kGainEdit = 102;
  static constexpr const char* kTimeMessage = kDelayTimeMessage;
  static constexpr const char* kGainMessage = kDelayGainMessage;
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

// The menu command "Phaser...".
void PhaserCommand(LCommandContext& context);

}  // namespace klangor
