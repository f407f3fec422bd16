#include "frame/edit_frame.h"

#include "store/sound_document.h"
#include "store/undo.h"

namespace klangor {
namespace {

bool Restore(LEditFrame& frame, bool (*step)(LSoundDocument&)) {
  LSoundDocument* document = frame.ActiveDocument();
  if (document == nullptr) return false;
  frame.StopPlayback();
  if (!step(*document)) return false;
  frame.RefreshUndoMenu();
  frame.RedrawActiveDocument();
  return true;
}

}  // namespace

bool BeginEdit(LEditFrame& frame, std::string_view name) {
  LSoundDocument* document = frame.ActiveDocument();
  if (document == nullptr) return false;
  PushUndo(*document, name);
  document->modified = true;
  frame.EnableSave(true);
  frame.RefreshUndoMenu();
  return true;
}

bool UndoCommand(LEditFrame& frame) { return Restore(frame, &Undo); }

bool RedoCommand(LEditFrame& frame) { return Restore(frame, &Redo); }

}  // namespace klangor
