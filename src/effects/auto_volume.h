#pragma once
// The automatic volume control ("Automatische Lautstärken Kontrolle"): a two-pass effect
// that measures the loudness of the selection and then evens it out.
//
// First pass, in windows of rate / 50 frames (20 to 8192): the source's frames go unchanged
// into a temporary sample file; each channel is weighted towards the speech band (a one-pole
// high-pass at 450 Hz, plus the difference between that and its one-pole low-pass at
// 2200 Hz), its level byte goes into a temporary level file and into the channel's
// histogram. Each channel's target level comes from its histogram (AutoVolumeTarget).
// Second pass: the gain stream (effects/volume_gain_stream.h) reads both files back, the
// limiter at 16-bit full scale follows it, and the result goes into the sink. The progress
// shows position / (2 x length) in the first pass and continues from one half in the second.
//
// The two files live in the private temporary folder, are created exclusively and are
// removed whatever the outcome. Exactly as many frames are written as the source has, so
// the selection keeps its length; the gain falls towards 0 over the last window.

#include <array>
#include <cstdint>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "frame/command_table.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kAutoVolumeName[] = "Automatische Lautstärken Kontrolle";
inline constexpr char kAutoVolumeTitle[] = "Durchführen Der Automatischen Verstärkungsregelung";
inline constexpr char kAutoVolumeStatus[] = "Bitte Wartezeit...";

// Window counts per level byte, index level + 127 (levels -127..127).
using LLevelHistogram = std::array<int64_t, 255>;

// The target level of a channel: walking up from -127, the level L8 at which at most
// (N + 8) >> 3 of the N windows lie above it; the floor L8 - 14 (-127 when L8 is -113 or
// lower); the median (the entry at index count div 2) of the windows at or above the floor.
// -127 without windows.
int AutoVolumeTarget(const LLevelHistogram& histogram);

// Both passes over `source`, from its position to its length, into `sink`. Fails (2) when the
// source is not usable, the sink cannot be written, their rates or channel counts differ, or
// the temporary files cannot be created or written.
LResult AutoVolume(LRef<LSoundStream> source, LSoundSink& sink, LProgress& progress);

// The runner over the document's selection: a reader over a copy of the selection is the
// source, a new block the sink; the selection is replaced only when both passes completed.
// An empty selection, or one whose end lies before its start, is done at once.
LResult RunAutoVolume(LSoundDocument& document, LProgress& progress);

// The menu command (no dialog; undo name "Automatische Lautstärken Kontrolle").
void AutoVolumeCommand(LCommandContext& context);

}  // namespace klangor
