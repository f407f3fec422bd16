#pragma once
// The menu command of an effect, as every effect runs it:
//   1. nothing without an active document; 2. no selection selects the whole sound;
//   3. playback stops (effects for stereo only refuse a mono sound here);
//   4. the dialog shows the stored values (cancel ends the command);
//   5. the dialog's values are stored; 6. an undo step named after the effect is recorded;
//   7. the effect runs under the progress window; 8. when it completed, the after-effect
//   step puts the cursor at the selection start and plays from half a second before it.
// A few effects differ in the last steps (amplify runs without a progress window and plays
// from a second before; the fades have no after-effect step): the fields below say so.

#include <functional>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "effects/effect.h"
#include "frame/command_table.h"
#include "store/sound_document.h"

namespace klangor {

// What step 8 does once the effect completed.
enum class LAfterEffect { kHalfSecondPreroll, kOneSecondPreroll, kNothing };

struct LEffectCommand {
  std::string undoName{};
  std::string title{};  // the progress window's title line
  bool stereoOnly = false;
  bool progressWindow = true;  // false: step 7 runs without a window (and cannot be cancelled)
  LAfterEffect after = LAfterEffect::kHalfSecondPreroll;
  // Steps 4 and 5: reads the stored values, shows the dialog (with a selection copy for its
  // preview) and stores what the user chose. False when the user cancelled. Effects without
  // a dialog leave it empty.
  std::function<bool(LCommandContext& context, const LSegmentList& selection)> askValues{};
  // Step 7: applies the effect to the document's selection.
  std::function<LResult(LSoundDocument& document, LProgress& progress)> run{};
};

void RunEffectCommand(LCommandContext& context, const LEffectCommand& command);

// The command of a stream effect: `command` without its run step, which runs the task that
// `task` builds once the dialog has stored its values (effects/stream_effect.h).
void RunStreamEffectCommand(LCommandContext& context, LEffectCommand command, std::function<LEffectTask()> task);

inline constexpr char kStereoOnlyMessage[] =
    "Dieser Effekt kann nur in einer Stereodatei angewendet werden. Bitte konvertieren Sie diese "
    "Datei in eine Stereodatei. Datei->Kanäle konvertieren->Stereo.";
inline constexpr char kStereoOnlyCaption[] = "Datei muß in Stereo konvertiert werden";

}  // namespace klangor
