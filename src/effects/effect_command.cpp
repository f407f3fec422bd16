#include "effects/effect_command.h"

#include "effects/stream_effect.h"
#include "frame/command_steps.h"
#include "frame/edit_frame.h"

namespace klangor {

void RunEffectCommand(LCommandContext& context, const LEffectCommand& command) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  SelectAllIfNone(*document);
  document->ClampSelection();
  context.frame.StopPlayback();
  if (command.stereoOnly && document->sound.Channels() != 2) {
    context.ui.Message(kStereoOnlyMessage, kStereoOnlyCaption, LButtons::kOkCancel, LIcon::kQuestion);
    return;
  }
  if (command.askValues) {
    LSegmentList selection;
    document->sound.ExtractRange(document->selectionStart, document->selectionEnd, selection);
    if (!command.askValues(context, selection)) return;
  }
  BeginEdit(context.frame, command.undoName);
  LResult result;
  if (command.progressWindow) {
    result = context.ui.RunWithProgress(command.title, [&](LProgress& progress) {
      return command.run(*document, progress);
    });
  } else {
    LSilentProgress progress;
    result = command.run(*document, progress);
  }
  if (result == LResult::kDone && command.after != LAfterEffect::kNothing) {
    const int32_t rate = document->sound.SampleRate();
    FinishEdit(context, command.undoName, document->selectionStart,
               command.after == LAfterEffect::kOneSecondPreroll ? rate : rate / 2);
  }
  context.frame.RedrawActiveDocument();
}

void RunStreamEffectCommand(LCommandContext& context, LEffectCommand command, std::function<LEffectTask()> task) {
  command.run = [&task](LSoundDocument& document, LProgress& progress) {
    return RunStreamEffect(document, task(), progress);
  };
  RunEffectCommand(context, command);
}

}  // namespace klangor
