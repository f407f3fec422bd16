#include "app/headless_frame.h"

#include "store/undo.h"

namespace klangor {

void LHeadlessFrame::StopPlayback() { requests.emplace_back("StopPlayback"); }

void LHeadlessFrame::EnableSave(bool enabled) {
  saveEnabled = enabled;
  requests.emplace_back(enabled ? "EnableSave 1" : "EnableSave 0");
}

void LHeadlessFrame::RefreshUndoMenu() {
  requests.emplace_back("RefreshUndoMenu");
  if (active) {
    undoText = UndoMenuText(*active);
    undoEnabled = CanUndo(*active);
    redoText = RedoMenuText(*active);
    redoEnabled = CanRedo(*active);
  } else {
    undoText = redoText = {};
    undoEnabled = redoEnabled = false;
  }
}

void LHeadlessFrame::RedrawActiveDocument() { requests.emplace_back("RedrawActiveDocument"); }

}  // namespace klangor
