#include "effects/effect_command.h"

#include "app/command_steps.h"
#include "app/edit_frame.h"

namespace klangor {

void AfterEffect(LCommandContext& context, const std::string& operation) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  FinishEdit(context, operation, document->selectionStart, document->sound.SampleRate() / 2);
}

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
  LResult result = context.ui.RunWithProgress(command.title, [&](LProgress& progress) {
    return command.run(*document, progress);
  });
  if (result == LResult::kDone) AfterEffect(context, command.undoName);
  context.frame.RedrawActiveDocument();
}

}  // namespace klangor
