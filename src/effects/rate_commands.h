#pragma once
// The sample-rate and channel conversion of a whole document: "Samplerate umwandeln" (with
// its dialog), "Mono" and "Stereo".
//
// The whole document is read through the format adapter into a new block of the target rate
// and channel count by the processing pump; the document then takes the new audio, and its
// selection, cursor, visible range and marks move to the same times at the new rate
// (frames to milliseconds at the old rate, back to frames at the new one). A document that
// already has the target format is left as it is, without an undo step.

#include <cstdint>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "frame/command_table.h"
#include "frame/user_interface.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kConvertProgressTitle[] = "Converting rate or channels...";
inline constexpr char kConvertRateUndoName[] = "Samplerate konvertieren";
inline constexpr char kConvertChannelsUndoName[] = "Convert Channels";

// The document converted to `sampleRate` and `channels` (the callers bring them into their
// ranges). Done at once when it has them; failed (2) for a rate of 0 or less or a channel
// count outside 1..255, or when its audio cannot be read or written.
LResult ConvertDocumentFormat(LSoundDocument& document, int32_t sampleRate, int channels, LProgress& progress);

// What ConvertDocumentFormat makes of a document holding the whole sound `source` (at frame
// 0, its length fixed), seen as the document reads it back: `source` itself when it has the
// format, nothing where the conversion would fail.
LRef<LSoundStream> ConvertedResult(LRef<LSoundStream> source, int32_t sampleRate, int channels);

// False when the block of the converted document would not fit into `freeBytes` (-1:
// unknown, taken as enough). The commands check it before they start and refuse with the
// low-space message.
bool ConversionFits(const LSoundDocument& document, int32_t sampleRate, int channels, int64_t freeBytes);

// The rate dialog: one edit box (101), preset to the document's rate; it accepts the range of
// the stored value "ConvertSampleRate" (6000 to 96000 Hz).
class LSampleRateDialog final : public LDialogModel {
 public:
  static constexpr char kTitle[] = "Samplerate umwandeln";
  static constexpr int kRateEdit = 101;
  static constexpr char kRangeMessage[] = "Samplerate muss zwischen 6000 und 96000 Samples pro Sekunde liegen.";

  explicit LSampleRateDialog(int32_t documentRate) : sampleRate(documentRate) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;

  int32_t sampleRate;
};

// "Samplerate umwandeln": the dialog, then the conversion with undo step "Samplerate
// konvertieren"; afterwards the cursor goes to the selection start and playback (when on)
// starts there.
void SampleRateCommand(LCommandContext& context);
// "Mono" (1) and "Stereo" (2): the conversion with undo step "Convert Channels"; a document
// converted to one channel is shown in the single-channel display.
void ChannelCommand(LCommandContext& context, int channels);

}  // namespace klangor
