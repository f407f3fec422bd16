#pragma once
// Reverb ("Hall"): a recursive multi-tap delay over a line of L samples (frames x channels,
// at least 128). Four read indices start at trunc(0.7413 L), trunc(0.5581 L), trunc(0.3823 L)
// and trunc(0.211 L), the write index at 0; with k = level x 512 div 100 their Q9 gains are
// trunc(0.4 k), trunc(0.1 k), trunc(0.3 k), trunc(0.07 k) and trunc(0.13 k) for the write
// index. For every sample x:
//   y = x + sum over the five indices of (buffer[index] x gain >> 9); buffer[w] = y;
// the output is y and all five indices advance by one modulo L. Taps count interleaved
// samples, so with two channels a tap may fall on the other channel. Seek clears the line and
// forwards the seek.
//
// Products and sums are exact (taken in 32-bit pieces for levels up to 100 %, in 64 bits
// beyond) and the output saturates at the 32-bit range, since a level far above 100 % makes
// the feedback grow without bound. Delays are capped as the echo's.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"

namespace klangor {

inline constexpr char kReverbName[] = "Hall";

class LReverbStream final : public LSoundFilter {
 public:
  LReverbStream(LRef<LSoundStream> input, int32_t lineSamples, int32_t levelPercent);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  std::vector<int32_t> line_;
  std::array<size_t, 4> starts_{};
  std::array<int32_t, 5> gains_{};
  bool narrow_ = false;  // the gains are small enough for 32-bit arithmetic
  size_t write_ = 0;
};

class LReverbProcessor final : public LEffectProcessor {
 public:
  LReverbProcessor(int32_t levelPercent, int32_t timeMs) : levelPercent_(levelPercent), timeMs_(timeMs) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  int32_t levelPercent_;
  int32_t timeMs_;
};

LEffectTask MakeReverbTask(int32_t levelPercent, int32_t timeMs);

// The dialog "Hall": level (edit 101, at most 100 %) and time (edit 102, 50 to 1000 ms).
class LReverbDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Hall";
  static constexpr int kLevelEdit = 101;
  static constexpr int kTimeEdit = 102;
  static constexpr char kLevelMessage[] = "Hall Level muss unter 100 kiegen. Bitte noch einmal versuchen.";
  static constexpr char kTimeMessage[] =
      "Verzögerung muss zwischen 50 und 1000 liegen. Bitte noch einmal versuchen.";
  static constexpr std::array<const char*, 5> kPresets{"Voreinstellungen Wählen", "Wohnzimmer", "Badezimmer",
                                                       "Auditorium", "Hangar"};

  // `selection` is the selection copy the preview plays (the dialog keeps its own copy).
  LReverbDialog(int32_t level, int32_t time, const LSegmentList& selection)
      : LPreviewDialog(selection), levelPercent(level), timeMs(time) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  LRef<LSoundStream> PreviewStream() const override;

  int32_t levelPercent;
  int32_t timeMs;
};

// The menu command "Hall..." (undo name "Reverb").
void ReverbCommand(LCommandContext& context);

}  // namespace klangor
