#include "frame/headless_frame.h"

namespace klangor {

void LHeadlessFrameParts::LRecordingView::DocumentOpened(LSoundDocument& /*document*/) {
  parts_.requests.emplace_back("DocumentOpened");
}

void LHeadlessFrameParts::LRecordingView::DocumentClosed(LSoundDocument& /*document*/) {
  parts_.requests.emplace_back("DocumentClosed");
}

void LHeadlessFrameParts::LRecordingView::ArrangeWindows() { parts_.requests.emplace_back("ArrangeWindows"); }

void LHeadlessFrameParts::LRecordingView::RefreshBars() { parts_.requests.emplace_back("RefreshBars"); }

void LHeadlessFrameParts::LRecordingView::EnableSave(bool enabled) {
  parts_.saveEnabled = enabled;
  parts_.requests.emplace_back(enabled ? "EnableSave 1" : "EnableSave 0");
}

void LHeadlessFrameParts::LRecordingView::RefreshUndoMenu(const LUndoMenuState& state) {
  parts_.undoMenu = state;
  parts_.requests.emplace_back("RefreshUndoMenu");
}

void LHeadlessFrameParts::LRecordingView::RedrawDocument(LSoundDocument& /*document*/) {
  parts_.requests.emplace_back("RedrawDocument");
}

void LHeadlessFrameParts::LRecordingPlayer::Stop() {
  parts_.playing = false;
  parts_.requests.emplace_back("StopPlayback");
}

void LHeadlessFrameParts::LRecordingPlayer::Play(LSoundDocument& /*document*/, int32_t fromFrame) {
  parts_.playing = true;
  parts_.playedFrom = fromFrame;
  parts_.requests.emplace_back("Play " + std::to_string(fromFrame));
}

}  // namespace klangor
