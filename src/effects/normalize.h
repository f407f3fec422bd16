#pragma once
// Normalise ("Normalisieren"): the selection is pumped into a peak sink (dsp/peak_sink.h);
// its peak P is the largest max(M, -m) of its samples. Then p = L x 524272 div P, at most
// 400, and the selection is amplified by p (effects/amplify.h). A selection whose peak is 0
// (silence) is left as it is: there is no gain that would bring it to any level.

#include <array>
#include <cstdint>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kNormalizeName[] = "Normalisieren";
inline constexpr char kNormalizeTitle[] = "Normalisiere";
inline constexpr int32_t kNormalizeReference = 524272;  // 16-bit full scale
inline constexpr int32_t kMaxNormalizePercent = 400;

// The normalising percentage for a peak above 0: L x 524272 div P, at most 400.
int32_t NormalizePercent(int32_t levelPercent, int32_t peak);

// Normalises the document's selection; an empty selection is done at once.
LResult RunNormalize(LSoundDocument& document, int32_t levelPercent, LProgress& progress);

// The dialog "Normalisieren": the peak level in percent, refused above 100.
class LNormalizeDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Normalisieren";
  static constexpr char kLevelMessage[] =
      "Normalisierungslevel muss unter 100% liegen. Bitte noch einmal versuchen.";
  static constexpr std::array<const char*, 5> kPresets{"Voreinstellungen Wählen", "Sehr Leises Audio Level",
                                                       "Leises Audio Level", "Normales Audio Level",
                                                       "Maximales Audio Level"};

  LNormalizeDialog(int32_t level, LSegmentList selection)
      : LPreviewDialog(std::move(selection)), levelPercent(level) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  // The selection copy normalised as the effect would do it (its peak is measured first).
  LRef<LSoundStream> PreviewStream() const override;

  int32_t levelPercent;
};

// The menu command "Normalisieren...".
void NormalizeCommand(LCommandContext& context);

}  // namespace klangor
