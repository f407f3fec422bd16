#pragma once
// The wave window's contents: the zoom and display-mode buttons, the time ruler, the main
// waveform control over the document's visible range, the scroll bar, and the overview strip
// over the whole sound with the visible range framed.
//
// Refresh takes the document again: a sound that changed is bound anew, and only the columns
// over the frames that differ are computed again; cursor and selection moves only repaint
// the columns they touch, so a play cursor that follows playback costs little.
// Mouse: selecting in either control sets the document's selection and cursor (the time
// fields follow while the button is down); dragging past an edge of the main view scrolls it;
// a double click selects the whole sound; the right button opens the context menu. Wheel:
// scrolls (Ctrl: zooms); Page Up and Page Down scroll by a page.

#include <QTimer>

#include "ui/document_view.h"

class QScrollBar;
class QToolButton;

namespace klangor {

class LTimeRuler;
class LWaveControl;

class LWaveDocumentView final : public LDocumentView {
 public:
  LWaveDocumentView(LRef<LSoundDocument> document, QWidget* parent);
  void Refresh() override;

  LWaveControl& MainView() const { return *main_; }
  LWaveControl& Overview() const { return *overview_; }
  QScrollBar& ScrollBar() const { return *scroll_; }

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The controls' wheel and keys come here.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BindSound();
  void ShowView();
  void ShowMarks();
  void TakeSelection(const LWaveControl& from, bool placeCursor);
  void Notice(const LWaveControl& from, int notice);
  void ShowContextMenu(QPoint at);
  void Run(int command);

  LWaveControl* main_;
  LWaveControl* overview_;
  LTimeRuler* ruler_;
  QScrollBar* scroll_;
  std::vector<std::pair<int, QToolButton*>> buttons_;
  QTimer edgeScroll_;
  int edgeDirection_ = 0;
  bool showing_ = false;  // the view is being set from the document: scroll bar moves are not the user's
};

}  // namespace klangor
