#pragma once
// Amplify ("Anpassen") and normalise ("Normalisieren"): both change the gains the document
// keeps for its segments; no sample is rewritten.
//
// Amplify by p %: the selected range is taken out of the segment list, every segment's gain
// becomes (gain div 100) x p, or 2147483647 when it is at or above the cap (2147483647 for
// p <= 100, else (2147483647 div p) x 100), and the range is put back. Nothing happens for
// p = 100 or a selection whose end is not after its start.
//
// Normalise to L %: the selection is read from a document reader in pieces of at most 8192
// frames (the cancel question before each); its peak P is the largest max(M, -m) of the
// pieces. Then p = L x 524272 div P, at most 400, and the selection is amplified by p. A
// selection whose peak is 0 (silence) is left as it is: there is no gain that would bring it
// to any level.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/preview_dialog.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kAmplifyName[] = "Anpassen";
inline constexpr char kNormalizeName[] = "Normalisieren";
inline constexpr char kNormalizeTitle[] = "Normalisiere";
inline constexpr int32_t kNormalizeReference = 524272;  // 16-bit full scale
inline constexpr int32_t kMaxNormalizePercent = 400;

// Scales the gains of the document's selection (the list only; the caller records the undo
// step and refreshes the window).
void AmplifySelection(LSoundDocument& document, int32_t percent);

// The peak of `frameCount` frames of `source` from its position; nothing when cancelled.
std::optional<int32_t> PeakOfFrames(LSoundStream& source, int32_t frameCount, LProgress& progress);

// The normalising percentage for a peak above 0: L x 524272 div P, at most 400.
int32_t NormalizePercent(int32_t levelPercent, int32_t peak);

// Normalises the document's selection; an empty selection is done at once.
LResult RunNormalize(LSoundDocument& document, int32_t levelPercent, LProgress& progress);

// The dialog "Anpassen": the gain in percent, refused above 400.
class LAmplifyDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Anpassen";
  static constexpr char kGainMessage[] =
      "Normalisierungslevel muss be unter 400% liegen. Bitte noch einmal versuchen.";
  static constexpr std::array<const char*, 5> kPresets{"Voreinstellungen Wählen", "Viertel Lautstärke",
                                                       "Halbe Lautstärke", "Doppelte Lautstärke",
                                                       "Dreifache Lautstärke"};

  // `selection` is the selection copy the preview plays; it must outlive the dialog.
  LAmplifyDialog(int32_t gain, const LSegmentList& selection)
      : LPreviewDialog(selection), gainPercent(gain) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  LRef<LSoundStream> PreviewStream() const override;

  int32_t gainPercent;
};

// The dialog "Normalisieren": the peak level in percent, refused above 100.
class LNormalizeDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Normalisieren";
  static constexpr char kLevelMessage[] =
      "Normalisierungslevel muss unter 100% liegen. Bitte noch einmal versuchen.";
  static constexpr std::array<const char*, 5> kPresets{"Voreinstellungen Wählen", "Sehr Leises Audio Level",
                                                       "Leises Audio Level", "Normales Audio Level",
                                                       "Maximales Audio Level"};

  LNormalizeDialog(int32_t level, const LSegmentList& selection)
      : LPreviewDialog(selection), levelPercent(level) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void ChoosePreset(int index);
  // The selection copy normalised as the effect would do it (its peak is measured first).
  LRef<LSoundStream> PreviewStream() const override;

  int32_t levelPercent;
};

}  // namespace klangor
