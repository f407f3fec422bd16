#pragma once
// Amplify ("Anpassen"): changes the gains the document keeps for its segments; no sample is
// rewritten.
//
// Amplify by p %: the selected range is taken out of the segment list, every segment's gain
// becomes (gain div 100) x p, or 2147483647 when it is at or above the cap (2147483647 for
// p <= 100, else (2147483647 div p) x 100), and the range is put back. Nothing happens for
// p = 100 or a selection whose end is not after its start.

#include <array>
#include <cstdint>
#include <string>

#include "audio/sound_stream.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kAmplifyName[] = "Anpassen";

// Scales the gains of the document's selection (the list only; the caller records the undo
// step and refreshes the window).
void AmplifySelection(LSoundDocument& document, int32_t percent);

// The dialog "Anpassen": the gain in percent, refused above 400.
class LAmplifyDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Anpassen";
  static constexpr char kGainMessage[] =
      "Normalisierungslevel muss be unter 400% liegen. Bitte noch einmal versuchen.";
  static constexpr std::array<const char*, 5> kPresets{"Voreinstellungen Wählen", "Viertel Lautstärke",
                                                       "Halbe Lautstärke", "Doppelte Lautstärke",
                                                       "Dreifache Lautstärke"};

  LAmplifyDialog(int32_t gain, LSegmentList selection) : LPreviewDialog(std::move(selection)), gainPercent(gain) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  LRef<LSoundStream> PreviewStream() const override;

  int32_t gainPercent;
};

// The menu command "Anpassen...": no progress window; afterwards playback starts a second
// before the selection.
void AmplifyCommand(LCommandContext& context);

}  // namespace klangor
