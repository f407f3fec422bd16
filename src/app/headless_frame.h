#pragma once
// A frame without windows: it holds an active document and records what the commands asked
// of it, in order, so that command logic can be checked without a display.

#include <string>
#include <vector>

#include "app/edit_frame.h"
#include "audio/ref_counted.h"
#include "store/sound_document.h"

namespace klangor {

class LHeadlessFrame : public LEditFrame {
 public:
  LRef<LSoundDocument> active;  // the active document; null when no wave window is active

  // Every request in order: "StopPlayback", "EnableSave 1" / "EnableSave 0",
  // "RefreshUndoMenu", "RedrawActiveDocument".
  std::vector<std::string> requests;
  bool saveEnabled = false;
  // The undo and redo menu items as the last refresh left them.
  std::string undoText;
  bool undoEnabled = false;
  std::string redoText;
  bool redoEnabled = false;

  LSoundDocument* ActiveDocument() override { return active.Get(); }
  void StopPlayback() override;
  void EnableSave(bool enabled) override;
  void RefreshUndoMenu() override;
  void RedrawActiveDocument() override;
};

}  // namespace klangor
