#include "frame/frame_model.h"

#include <algorithm>

#include "frame/view_commands.h"
#include "store/undo.h"

namespace klangor {

void LFrameModel::OpenDocument(LRef<LSoundDocument> document) {
  if (!document) return;
  documents_.push_back(document);
  active_ = document.Get();
  view_.DocumentOpened(*document);
  RefreshUndoMenu();
}

void LFrameModel::CloseDocument(LSoundDocument& document) {
  auto found = std::find_if(documents_.begin(), documents_.end(),
                            [&](const LRef<LSoundDocument>& open) { return open.Get() == &document; });
  if (found == documents_.end()) return;
  LRef<LSoundDocument> keep = *found;  // alive until the view has let go of it
  documents_.erase(found);
  if (active_ == &document) active_ = documents_.empty() ? nullptr : documents_.back().Get();
  view_.DocumentClosed(document);
  RefreshUndoMenu();
}

bool LFrameModel::Activate(LSoundDocument& document) {
  for (const LRef<LSoundDocument>& open : documents_) {
    if (open.Get() == &document) {
      active_ = &document;
      RefreshUndoMenu();
      return true;
    }
  }
  return false;
}

void LFrameModel::ShowPlayPosition(LSoundDocument& document, int32_t frame) {
  PlaceCursor(document, frame);
  view_.RedrawDocument(document);
}

LSoundDocument* LFrameModel::ActiveDocument() { return active_; }

void LFrameModel::RefreshUndoMenu() {
  LUndoMenuState state;
  if (active_ != nullptr) {
    state.undoText = UndoMenuText(*active_);
    state.undoEnabled = CanUndo(*active_);
    state.redoText = RedoMenuText(*active_);
    state.redoEnabled = CanRedo(*active_);
  }
  view_.RefreshUndoMenu(state);
}

void LFrameModel::RedrawActiveDocument() {
  if (active_ != nullptr) view_.RedrawDocument(*active_);
}

}  // namespace klangor
