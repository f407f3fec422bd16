#pragma once
// Speed and pitch: the three commands "Geschwindigkeit und Tonhöhe ändern" (both together),
// "Nur Geschwindigkeit ändern" and "Nur Tonhöhe ändern", with a percentage p and the factor
// f = p x 0.01 (a p of 10 or less counts as 10 in every mode).
//   Both:        the input is converted to the rate trunc(Ri / f) and labelled Ri again, so it
//                plays f times as fast and as high (200 % halves the length).
//   Speed only:  the time stretch at speed f: 1 / f times as long at the same pitch.
//   Pitch only:  "both" at f, then the time stretch at 1 / f: the length stays, the pitch
//                changes.
// The run reads the selection, writes the chosen stream into a new block at the document's
// rate and channels through the processing pump (format adapter and limiter), and replaces
// the selection, whose end becomes its start plus the written length.

#include <array>
#include <cstdint>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "settings/setting.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

enum class LSpeedPitchMode { kSpeedAndPitch = 0, kSpeedOnly = 1, kPitchOnly = 2 };

inline constexpr char kSpeedPitchTitle[] = "Geschwindigkeit und Tonhöhe ändern";
inline constexpr int32_t kMinSpeedPercent = 10;

// The factor of a percentage, max(p, 10) x 0.01.
double SpeedFactor(int32_t percent);

// The stream of a mode over `input`; the input itself when the factor is 1.
LRef<LSoundStream> MakeSpeedPitchStream(LRef<LSoundStream> input, LSpeedPitchMode mode, int32_t percent);

class LSpeedPitchProcessor final : public LEffectProcessor {
 public:
  LSpeedPitchProcessor(LSpeedPitchMode mode, int32_t percent) : mode_(mode), percent_(percent) {}
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override {
    return MakeSpeedPitchStream(std::move(input), mode_, percent_);
  }

 private:
  LSpeedPitchMode mode_;
  int32_t percent_;
};

// Applies a mode to the document's selection (the menu command's run and the batch
// processor's commands 13 to 15). A selection whose end lies before its start is done at
// once without change.
LResult RunSpeedPitch(LSoundDocument& document, LSpeedPitchMode mode, int32_t percent, LProgress& progress);
// What RunSpeedPitch writes over a document holding the whole sound `source` (at frame 0,
// its length fixed), seen as the document reads it back. Nothing where the run would fail.
LRef<LSoundStream> SpeedPitchResult(LRef<LSoundStream> source, LSpeedPitchMode mode, int32_t percent);

// The command name (also the undo name and the dialog's caption), the dialog's label and the
// stored value of a mode.
const char* SpeedPitchName(LSpeedPitchMode mode);
const char* SpeedPitchLabel(LSpeedPitchMode mode);
const LIntSetting& SpeedPitchSetting(LSpeedPitchMode mode);

// The speed and pitch dialog: one edit box (101) with the percentage; values above 300 are
// refused.
class LSpeedPitchDialog final : public LPreviewDialog {
 public:
  static constexpr int kPercentEdit = 101;
  static constexpr int32_t kMaxPercent = 300;
  static constexpr char kTooFastMessage[] = "Geschwindigkeitsänderung in Prozent muss unter 300 liegen.";

  // `selection` is the selection copy the preview plays (the dialog keeps its own copy).
  LSpeedPitchDialog(LSpeedPitchMode mode, int32_t storedPercent, const LSegmentList& selection)
      : LPreviewDialog(selection), percent(storedPercent), mode_(mode) {}
  std::string Title() const override { return SpeedPitchName(mode_); }
  std::string Label() const { return SpeedPitchLabel(mode_); }
  std::string Validate() override;
  LRef<LSoundStream> PreviewStream() const override;

  int32_t percent;

 private:
  LSpeedPitchMode mode_;
};

// The menu command of a mode: reads its stored value, shows the dialog, stores the choice,
// records the undo step and runs under the progress window.
void SpeedPitchCommand(LCommandContext& context, LSpeedPitchMode mode);

}  // namespace klangor
