#pragma once
// The main frame without its windows: the open documents (one per wave window), the active
// one, and the player. Commands work on this model and on the user-interface service; the
// main window implements LFrameView and keeps its windows in step with the model.

#include <vector>

#include "audio/ref_counted.h"
#include "frame/edit_frame.h"
#include "frame/frame_view.h"
#include "frame/player.h"
#include "store/sound_document.h"

namespace klangor {

class LFrameModel : public LEditFrame {
 public:
  LFrameModel(LFrameView& view, LPlayer& player) : view_(view), player_(player) {}

  LPlayer& Player() { return player_; }
  LFrameView& View() { return view_; }
  const std::vector<LRef<LSoundDocument>>& Documents() const { return documents_; }

  // Opens `document` in a new wave window, which becomes the active one.
  void OpenDocument(LRef<LSoundDocument> document);
  // Closes the window of `document`.
  void CloseDocument(LSoundDocument& document);
  // Makes the window of `document` the active one; false when it is not open.
  bool Activate(LSoundDocument& document);
  void ArrangeWindows() { view_.ArrangeWindows(); }
  // A position report of the player: the cursor of `document` follows the played frame (a
  // cursor outside the view pages the view along) and its window redraws the cursor.
  void ShowPlayPosition(LSoundDocument& document, int32_t frame);
  void RefreshBars() { view_.RefreshBars(); }

  // LEditFrame
  LSoundDocument* ActiveDocument() override;
  void StopPlayback() override { player_.Stop(); }
  void EnableSave(bool enabled) override { view_.EnableSave(enabled); }
  void RefreshUndoMenu() override;
  void RedrawActiveDocument() override;

 private:
  LFrameView& view_;
  LPlayer& player_;
  std::vector<LRef<LSoundDocument>> documents_;
  LSoundDocument* active_ = nullptr;
};

}  // namespace klangor
