#pragma once
// Echo: a recursive comb over a delay line of L samples (frames x channels, at least 20)
// with the Q9 gain g = gain x 512 div 100. For every sample x:
//   y = x + (buffer[w] x g >> 9); buffer[w] = y; w = (w + 1) mod L; the output is y.
// Because the line counts interleaved samples, each channel hears its own past. A time below
// 1 ms leaves the input as it is; a gain above 99 counts as 99. Seek clears the line (the
// write index stays) and forwards the seek.
//
// The product is taken in 64 bits and the sum saturates at the 32-bit range, so that a
// runaway feedback (negative or huge stored gains) cannot wrap. Delays are capped at
// kMaxDelayMs, far beyond the dialog's 3 seconds, to keep the line's memory bounded.

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

inline constexpr char kEchoName[] = "Echo";
// The longest delay the echo and reverb lines hold.
inline constexpr int32_t kMaxDelayMs = 60000;

// Milliseconds to frames as the delay effects count them, (t mod 1000) x rate div 1000 +
// (t div 1000) x rate, with t clamped to at most kMaxDelayMs.
int32_t DelayFrames(int32_t ms, int32_t sampleRate);

class LEchoStream final : public LSoundFilter {
 public:
  LEchoStream(LRef<LSoundStream> input, int32_t delaySamples, int32_t gainQ9);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  std::vector<int32_t> line_;
  size_t write_ = 0;
  int32_t gain_;
};

class LEchoProcessor final : public LEffectProcessor {
 public:
  LEchoProcessor(int32_t timeMs, int32_t gainPercent) : timeMs_(timeMs), gainPercent_(gainPercent) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  int32_t timeMs_;
  int32_t gainPercent_;
};

LEffectTask MakeEchoTask(int32_t timeMs, int32_t gainPercent);

// The dialog "Echo": time (edit 101, 10 to 2999 ms) and gain (edit 102, below 100 %).
class LEchoDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Echo";
  static constexpr int kTimeEdit = 101;
  static constexpr int kGainEdit = 102;
  static constexpr char kTimeMessage[] = "Echo muss zwischen 10 and 3000ms. Bitte noch einmal versuchen.";
  static constexpr char kGainMessage[] = "Echo Lautstärke muss unter 100% liegen. Bitte noch einmal versuchen.";
  static constexpr std::array<const char*, 4> kPresets{"Voreinstellungen Wählen", "Wohnzimmer", "Höhle",
                                                       "Grand Canyon"};

  // `selection` is the selection copy the preview plays (the dialog keeps its own copy).
  LEchoDialog(int32_t time, int32_t gain, const LSegmentList& selection)
      : LPreviewDialog(selection), timeMs(time), gainPercent(gain) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  LRef<LSoundStream> PreviewStream() const override;

  int32_t timeMs;
  int32_t gainPercent;
};

// The menu command "Echo...": the dialog with the stored values, then the echo.
void EchoCommand(LCommandContext& context);

}  // namespace klangor
