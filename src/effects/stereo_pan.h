#pragma once
// Stereo pan ("Stereo Regler"): two output channels, each the sum over the input channels of
// input x the Q24 gain of a dB byte (dsp/db_table.h); input channels beyond a list count
// as silence. For the slider value v (0 to 100), d = v x 0.01, the own-channel gains are
// gL = sqrt(1 - d) x 1.4142 and gR = sqrt(d) x 1.4142, truncated to Q24 and turned into dB
// bytes, so the middle gives 0 dB on both and the ends +3 dB on one side and silence on the
// other. The left list is [dB(gL), cross] and the right list [cross, dB(gR)].
//
// The cross entries are silence (-127): the pan then works as a balance control that leaves
// the sound untouched in the middle. With unity cross entries every position would mix both
// inputs into both outputs, collapsing the stereo image to mono and adding up to 6 dB even
// in the middle.
//
// Values outside 0..100 count as the nearest end.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kStereoPanName[] = "Stereo Regler";  // task name and progress title
inline constexpr char kStereoPanUndoName[] = "Stereo Pan";
inline constexpr int kStereoPanCrossDb = -127;

// The dB bytes of the two lists: left[c] and right[c] for input channel c.
struct LStereoPanLists {
  std::array<int, 2> left{};
  std::array<int, 2> right{};
};

LStereoPanLists StereoPanLists(int32_t value);

class LStereoPanStream final : public LSoundFilter {
 public:
  LStereoPanStream(LRef<LSoundStream> input, const LStereoPanLists& lists);
  void Read(int32_t* frames, int32_t frameCount) override;

 private:
  int inputChannels_;
  std::array<int32_t, 2> left_{};   // Q24 gains per input channel
  std::array<int32_t, 2> right_{};
  std::vector<int32_t> input_;
};

class LStereoPanProcessor final : public LEffectProcessor {
 public:
  explicit LStereoPanProcessor(int32_t value) : value_(value) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  int32_t value_;
};

LEffectTask MakeStereoPanTask(int32_t value);

// The dialog "Stereo Regler": a slider from 0 to 100 with a tick every 50; it holds its range.
class LStereoPanDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Stereo Regler";
  static constexpr int32_t kMin = 0;  // the range of the stored value "StereoPan"
  static constexpr int32_t kMax = 100;
  static constexpr int32_t kTick = 50;

  LStereoPanDialog(int32_t value, const LSegmentList& selection);
  std::string Title() const override { return kTitle; }
  void SetValue(int32_t value);
  int32_t Value() const { return value_; }
  LRef<LSoundStream> PreviewStream() const override;

 private:
  int32_t value_;
};

// The menu command "Stereo Regler..." (stereo only).
void StereoPanCommand(LCommandContext& context);

}  // namespace klangor
