#include "ui/wave_view.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <limits>

#include "audio/time_units.h"
#include "frame/menu_layout.h"
#include "frame/view_commands.h"
#include "store/wave_columns.h"
#include "ui/qt_text.h"
#include "ui/time_ruler.h"
#include "ui/wave_control.h"

namespace klangor {
namespace {

int32_t Frames(int64_t frames) {
  return static_cast<int32_t>(std::clamp<int64_t>(frames, 0, std::numeric_limits<int32_t>::max()));
}

constexpr int kEdgeScrollMs = 50;     // dragging past an edge scrolls this often
constexpr int kEdgeScrollParts = 20;  // by this part of the view

}  // namespace

LWaveDocumentView::LWaveDocumentView(LRef<LSoundDocument> document, QWidget* parent)
    : LDocumentView(std::move(document), parent) {
  setObjectName("waveView");
  setMinimumSize(240, 120);
  setFocusPolicy(Qt::ClickFocus);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);

  // The window's own buttons: zoom, vertical zoom (87) and the display modes (88, 89, 91).
  auto* buttons = new QHBoxLayout();
  buttons->setSpacing(1);
  const std::tuple<int, int, const char*, const char*> kButtons[] = {
      {kCmdZoomIn, 0, "+", "Vergrößern"},
      {kCmdZoomOut, 0, "\u2212", "Verkleinern"},
      {kCmdZoomSelection, 0, "[ ]", "Auswahl zoomen"},
      {kCmdZoomAll, 0, "\u2194", "Ganze Datei zeigen"},
      {kCmdVerticalZoom, 87, "\u2195", "Vertikaler Zoom"},
      {kCmdDisplayCombined, 88, "+/\u2212", "Anzeige + / -"},
      {kCmdDisplaySplit, 89, "L/R", "Anzeige L / R"},
      {kCmdDisplayLanes, 91, "L|R", "Linker und rechter Kanal getrennt"},
  };
  for (const auto& [command, control, text, tip] : kButtons) {
    auto* button = new QToolButton(this);
    button->setObjectName(control != 0 ? QString("control%1").arg(control) : QString("zoom%1").arg(command));
    button->setText(QString::fromUtf8(text));
    button->setToolTip(QString::fromUtf8(tip));
    button->setAutoRaise(true);
    button->setCheckable(control != 0);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this, [this, command = command] { Run(command); });
    if (command == kCmdVerticalZoom) buttons->addSpacing(8);
    buttons->addWidget(button);
    buttons_.emplace_back(command, button);
  }
  buttons->addStretch(1);
  layout->addLayout(buttons);

  main_ = new LWaveControl(this);
  main_->setObjectName("LKLWaveWindow");
  ruler_ = new LTimeRuler(*main_, this);
  layout->addWidget(ruler_);
  layout->addWidget(main_, 1);
  scroll_ = new QScrollBar(Qt::Horizontal, this);
  scroll_->setObjectName("waveScrollBar");
  layout->addWidget(scroll_);
  overview_ = new LWaveControl(this);
  overview_->setObjectName("overview");
  overview_->setFixedHeight(44);
  layout->addWidget(overview_);

  for (LWaveControl* control : {main_, overview_}) {
    control->selecting = [this, control] { TakeSelection(*control, false); };
    control->notify = [this, control](LWaveNotice notice) { Notice(*control, static_cast<int>(notice)); };
    control->doubleClicked = [this] {
      LSoundDocument& d = Document();
      if (d.Length() == 0) return;
      d.SetSelection(0, d.Length(), d.cursor);
      Refresh();
      if (Hooks().selectionChanged) Hooks().selectionChanged();
    };
    control->contextMenu = [this](QPoint at) { ShowContextMenu(at); };
    control->installEventFilter(this);
  }
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
    if (showing_) return;
    LSoundDocument& d = Document();
    SetVisibleRange(d, value, int64_t{value} + (d.visibleEnd - d.visibleStart));
    ShowView();
  });
  edgeScroll_.setInterval(kEdgeScrollMs);
  connect(&edgeScroll_, &QTimer::timeout, this, [this] {
    LSoundDocument& d = Document();
    ScrollView(d, edgeDirection_ * ScrollStep(d, kEdgeScrollParts));
    ShowView();
    main_->FollowMouse();
  });
  Refresh();
}

void LWaveDocumentView::Run(int command) {
  if (Hooks().run) Hooks().run(command);
}

void LWaveDocumentView::BindSound() {
  const LSoundDocument& d = Document();
  const LSegmentList* bound = main_->BoundSound();
  const bool sameLook = bound != nullptr && main_->DisplayMode() == d.displayMode &&
                        main_->Magnified() == d.verticalZoom && bound->Channels() == d.sound.Channels();
  if (!sameLook) {
    main_->Bind(d.sound, d.displayMode, d.verticalZoom);
    overview_->Bind(d.sound, 0, false);
    return;
  }
  // Only the frames that differ are drawn again (an edit of a selection redraws the selection).
  const LFrameRange changed = ChangedFrames(*bound, d.sound);
  if (changed.Empty()) return;
  main_->Bind(d.sound, d.displayMode, d.verticalZoom, changed);
  overview_->Bind(d.sound, 0, false, changed);
}

void LWaveDocumentView::Refresh() {
  LSoundDocument& d = Document();
  BindSound();
  ruler_->SetSampleRate(d.sound.SampleRate());
  for (LWaveControl* control : {main_, overview_}) {
    control->SetDocumentEnd(d.Length());
    if (d.HasSelection()) {
      control->SetSelection(d.selectionStart, d.selectionEnd);
    } else {
      control->SetSelection(d.selectionStart, d.selectionStart);
    }
    control->SetCursor(d.cursor);
  }
  ShowMarks();
  ShowView();
  for (const auto& [command, button] : buttons_) {
    const bool available = !Hooks().available || Hooks().available(command);
    button->setEnabled(available);
    if (command == kCmdVerticalZoom) button->setChecked(d.verticalZoom);
    if (command == kCmdDisplayCombined) button->setChecked(d.displayMode == 0);
    if (command == kCmdDisplaySplit) button->setChecked(d.displayMode == 1);
    if (command == kCmdDisplayLanes) button->setChecked(d.displayMode == 2);
  }
}

void LWaveDocumentView::ShowMarks() {
  const LSoundDocument& d = Document();
  std::vector<int64_t> frames;
  frames.reserve(d.bookmarks.size());
  for (const LBookmark& mark : d.bookmarks) frames.push_back(MsToFrames(mark.positionMs, d.sound.SampleRate()));
  main_->SetMarks(frames);
  overview_->SetMarks(std::move(frames));
}

void LWaveDocumentView::ShowView() {
  LSoundDocument& d = Document();
  // The visible range stays within the sound (one second of an empty one).
  d.LengthChanged();
  if (d.Length() > 0 && d.visibleEnd <= d.visibleStart) ZoomAll(d);
  const int64_t span = int64_t{d.visibleEnd} - d.visibleStart;
  main_->SetView(d.visibleStart, span);
  overview_->SetView(0, d.Length() > 0 ? d.Length() : std::max(d.sound.SampleRate(), 1));
  overview_->SetViewMarker(d.visibleStart, d.visibleEnd);
  ruler_->update();
  showing_ = true;
  scroll_->setRange(0, Frames(std::max<int64_t>(d.Length() - span, 0)));
  scroll_->setPageStep(Frames(std::max<int64_t>(span, 1)));
  scroll_->setSingleStep(Frames(ScrollStep(d, 10)));
  scroll_->setValue(d.visibleStart);
  showing_ = false;
}

void LWaveDocumentView::TakeSelection(const LWaveControl& from, bool placeCursor) {
  LSoundDocument& d = Document();
  const LWaveMouse& mouse = from.Mouse();
  d.SetSelection(Frames(mouse.selectionStart), Frames(mouse.selectionEnd), Frames(mouse.cursor));
  LWaveControl& other = &from == main_ ? *overview_ : *main_;
  other.SetSelection(d.selectionStart, d.selectionEnd);
  other.SetCursor(d.cursor);
  if (placeCursor) {
    // A cursor set in the overview outside the main view brings the view to it.
    const int32_t start = d.visibleStart;
    PlaceCursor(d, d.cursor);
    if (start != d.visibleStart) ShowView();
  }
  if (Hooks().selectionChanged) Hooks().selectionChanged();
}

void LWaveDocumentView::Notice(const LWaveControl& from, int notice) {
  switch (static_cast<LWaveNotice>(notice)) {
    case LWaveNotice::kSelectionDone:
      edgeScroll_.stop();
      TakeSelection(from, &from == overview_);
      break;
    case LWaveNotice::kPastRightBegan:
    case LWaveNotice::kPastLeftBegan:
      if (&from != main_) break;
      edgeDirection_ = static_cast<LWaveNotice>(notice) == LWaveNotice::kPastRightBegan ? 1 : -1;
      edgeScroll_.start();
      break;
    case LWaveNotice::kPastRightEnded:
    case LWaveNotice::kPastLeftEnded:
      edgeScroll_.stop();
      break;
    case LWaveNotice::kMarkMoved: {
      // The marks keep their order by position; the moved one takes its new time.
      LSoundDocument& d = Document();
      const std::vector<int64_t>& frames = from.Mouse().marks;
      for (size_t i = 0; i < d.bookmarks.size() && i < frames.size(); ++i) {
        d.bookmarks[i].positionMs = static_cast<int32_t>(FramesToMs(frames[i], d.sound.SampleRate()));
      }
      std::stable_sort(d.bookmarks.begin(), d.bookmarks.end(),
                       [](const LBookmark& a, const LBookmark& b) { return a.positionMs < b.positionMs; });
      d.modified = true;
      ShowMarks();
      break;
    }
  }
}

void LWaveDocumentView::ShowContextMenu(QPoint at) {
  QMenu menu(this);
  const int kEntries[] = {kCmdCut, kCmdCopy, kCmdPaste, 2006, 0, 2007, 2010, 0,
                          kCmdZoomIn, kCmdZoomOut, kCmdZoomSelection, kCmdZoomAll};
  for (int command : kEntries) {
    if (command == 0) {
      menu.addSeparator();
      continue;
    }
    const LMenuEntry* entry = FindMenuCommand(command);
    if (entry == nullptr) continue;
    QAction* action = menu.addAction(Q(entry->text));
    action->setObjectName(QString("context%1").arg(command));
    action->setEnabled(!Hooks().available || Hooks().available(command));
    connect(action, &QAction::triggered, this, [this, command] { Run(command); });
  }
  menu.exec(at);
}

bool LWaveDocumentView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Wheel) {
    wheelEvent(static_cast<QWheelEvent*>(event));
    return event->isAccepted();
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown) {
      keyPressEvent(key);
      return true;
    }
  }
  return LDocumentView::eventFilter(watched, event);
}

void LWaveDocumentView::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  const int notches = (delta.y() != 0 ? delta.y() : -delta.x()) / 120;
  if (notches == 0) return event->ignore();
  if (event->modifiers() & Qt::ControlModifier) {
    for (int i = 0; i < std::abs(notches); ++i) Run(notches > 0 ? kCmdZoomIn : kCmdZoomOut);
  } else {
    LSoundDocument& d = Document();
    ScrollView(d, -notches * ScrollStep(d, 10));
    ShowView();
  }
  event->accept();
}

void LWaveDocumentView::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key != Qt::Key_PageUp && key != Qt::Key_PageDown) return LDocumentView::keyPressEvent(event);
  LSoundDocument& d = Document();
  ScrollView(d, (key == Qt::Key_PageDown ? 1 : -1) * ScrollStep(d, 1));
  ShowView();
}

LDocumentView* CreateDocumentView(LRef<LSoundDocument> document, QWidget* parent) {
  return new LWaveDocumentView(std::move(document), parent);
}

}  // namespace klangor
