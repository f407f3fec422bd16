#include "frame/command_steps.h"

#include <algorithm>

#include "settings/settings_keys.h"
#include "store/block_store.h"

namespace klangor {

LSoundDocument* ActiveDocument(LCommandContext& context) { return context.frame.ActiveDocument(); }

void SelectAllIfNone(LSoundDocument& document) {
  if (document.HasSelection()) return;
  document.selectionStart = 0;
  document.selectionEnd = document.Length();
  ShowAll(document);
}

void ShowAll(LSoundDocument& document) {
  const int32_t length = document.Length();
  if (length == 0) return;
  document.visibleStart = 0;
  document.visibleEnd = length;
}

std::string LowSpaceMessage(const std::string& operation) {
  return "Die zuletzt durchgeführte aktion \"" + operation +
         "\" wurde eventuell nicht ausgeführt, da Sie nur wenig freien Speicher haben. Bitte "
         "versuchen Sie die Datei an einem anderen Ort zu speichern oder löschen Sie alte Dateien "
         "und versuche Sie es dann erneut.";
}

void FinishEdit(LCommandContext& context, const std::string& operation, int32_t position,
                int32_t backOffFrames) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  document->LengthChanged();
  int64_t freeBytes = context.ui.FreeBytes(LBlockStore::Instance().WorkingFolder());
  if (freeBytes < 0) freeBytes = int64_t{16} << 30;  // unknown: assume plenty
  if (freeBytes / 1024 / 1024 < 3) {
    // The edit stays done and the window shows it; only the cursor and playback wait.
    context.frame.RedrawActiveDocument();
    context.ui.Message(LowSpaceMessage(operation), kLowSpaceCaption, LButtons::kOk, LIcon::kInformation);
    return;
  }
  document->cursor = position;
  context.frame.RedrawActiveDocument();
  if (context.settings.Read(kAutoPlaybackAfterEffects)) {
    // Wide arithmetic: a position typed far before the start must not wrap around.
    document->cursor = static_cast<int32_t>(std::max<int64_t>(0, int64_t{position} - backOffFrames));
    context.frame.Player().Play(*document, document->cursor);
  }
}

}  // namespace klangor
