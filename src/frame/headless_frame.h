#pragma once
// A frame without windows: the frame model over a view and a player that record what the
// commands asked of them, in order, so that command logic can be checked without a display.

#include <string>
#include <vector>

#include "frame/frame_model.h"

namespace klangor {

// The recording view and player; a base of LHeadlessFrame so they exist before the model.
struct LHeadlessFrameParts {
  class LRecordingView final : public LFrameView {
   public:
    explicit LRecordingView(LHeadlessFrameParts& parts) : parts_(parts) {}
    void DocumentOpened(LSoundDocument& document) override;
    void DocumentClosed(LSoundDocument& document) override;
    void ArrangeWindows() override;
    void RefreshBars() override;
    void EnableSave(bool enabled) override;
    void RefreshUndoMenu(const LUndoMenuState& state) override;
    void RedrawDocument(LSoundDocument& document) override;

   private:
    LHeadlessFrameParts& parts_;
  };

  class LRecordingPlayer final : public LPlayer {
   public:
    explicit LRecordingPlayer(LHeadlessFrameParts& parts) : parts_(parts) {}
    bool IsPlaying() const override { return parts_.playing; }
    void Stop() override;
    void Play(LSoundDocument& document, int32_t fromFrame) override;

   private:
    LHeadlessFrameParts& parts_;
  };

  // Every request in order: "DocumentOpened", "DocumentClosed", "ArrangeWindows",
  // "RefreshBars", "EnableSave 1" / "EnableSave 0", "RefreshUndoMenu", "RedrawDocument",
  // "StopPlayback", "Play <frame>".
  std::vector<std::string> requests;
  bool saveEnabled = false;
  LUndoMenuState undoMenu;  // as the last refresh left it
  bool playing = false;
  int32_t playedFrom = -1;  // the start of the last playback

  LRecordingView view{*this};
  LRecordingPlayer player{*this};
};

class LHeadlessFrame : public LHeadlessFrameParts, public LFrameModel {
 public:
  LHeadlessFrame() : LFrameModel(view, player) {}
};

}  // namespace klangor
