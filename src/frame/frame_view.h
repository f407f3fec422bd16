#pragma once
// What the frame model asks of its windows: the main window implements it with Qt; the
// headless frame records the requests.

#include <string>

namespace klangor {

class LSoundDocument;

// The two undo menu items as the undo ring of the active document gives them.
struct LUndoMenuState {
  std::string undoText;
  bool undoEnabled = false;
  std::string redoText;
  bool redoEnabled = false;
};

class LFrameView {
 public:
  virtual ~LFrameView() = default;
  // A wave window for a document that the frame just opened (it becomes the active one).
  virtual void DocumentOpened(LSoundDocument& document) = 0;
  virtual void DocumentClosed(LSoundDocument& document) = 0;
  virtual void ArrangeWindows() = 0;
  // Menus, tool bars and command bars reflect the frame's state again.
  virtual void RefreshBars() = 0;
  virtual void EnableSave(bool enabled) = 0;
  virtual void RefreshUndoMenu(const LUndoMenuState& state) = 0;
  // The window of `document` takes its length, scroll range and drawing from the document.
  virtual void RedrawDocument(LSoundDocument& document) = 0;
};

}  // namespace klangor
