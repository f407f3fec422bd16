#pragma once
// The part of the main frame that undoable commands need, and the steps they share.
//
// Every undoable command first calls BeginEdit, which records an undo snapshot of the active
// document and marks it modified. The undo and redo commands stop playback (the restored
// sound replaces the one being played), restore a snapshot and refresh the window.
// The main frame implements LEditFrame; LHeadlessFrame (app/headless_frame.h) serves tests.

#include <string_view>

namespace klangor {

class LSoundDocument;

class LEditFrame {
 public:
  virtual ~LEditFrame() = default;

  // The document of the active wave window, or null when no wave window is active. Valid
  // until the frame's windows change.
  virtual LSoundDocument* ActiveDocument() = 0;
  virtual void StopPlayback() = 0;
  // Enables or disables the "Speichern" command.
  virtual void EnableSave(bool enabled) = 0;
  // Rebuilds the undo and redo menu items from the active document (UndoMenuText, CanUndo,
  // RedoMenuText, CanRedo in store/undo.h).
  virtual void RefreshUndoMenu() = 0;
  // Redraws the active wave window with its document's sound, selection, cursor and view.
  virtual void RedrawActiveDocument() = 0;
};

// With an active document: records the undo snapshot `name`, marks the document modified,
// enables saving and refreshes the undo menu. False (and nothing done) without one.
bool BeginEdit(LEditFrame& frame, std::string_view name);

// The "Rückgängig" and "Wiederholen" commands: with an active document, stop playback; when
// there is something to undo (redo), do it, refresh the undo menu and redraw. True when the
// document changed.
bool UndoCommand(LEditFrame& frame);
bool RedoCommand(LEditFrame& frame);

}  // namespace klangor
