#include "ui/wave_control.h"

#include <QContextMenuEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace klangor {
namespace {

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }

const QRgb kWaveGreen = Rgb(102, 255, 102);
const QRgb kBlack = Rgb(0, 0, 0);
const QRgb kWhite = Rgb(255, 255, 255);
const QRgb kSelectionBlue = Rgb(5, 95, 167);
const QRgb kPaleYellow = Rgb(255, 255, 189);
const QRgb kYellow = Rgb(255, 255, 17);
const QRgb kDarkGreen = Rgb(0, 128, 0);
const QRgb kMarkBlue = Rgb(0, 191, 255);
const QRgb kLaneLine = Rgb(128, 128, 128);

constexpr int kTriangle = 6;        // logical pixels of the cursor and mark triangles
constexpr int kCursorClearance = 4; // columns beside the cursor whose bars leave the triangles clear

}  // namespace

LWaveControl::LWaveControl(QWidget* parent) : QWidget(parent) {
  setObjectName("LKLWaveWindow");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  setMinimumSize(3, 3);
  painter_ = std::make_unique<LColumnPainter>([this](LColumnResult result) {
    // Back on the user-interface thread; a control that is gone takes the call with it.
    QMetaObject::invokeMethod(this, [this, result = std::move(result)] { Apply(result); }, Qt::QueuedConnection);
  });
  setEnabled(false);
  Relayout();
}

LWaveControl::~LWaveControl() {
  painter_.reset();  // joins the thread before the members it delivers to go
}

void LWaveControl::Bind(const LSegmentList& sound, int displayMode, bool magnify, std::optional<LFrameRange> changed) {
  const bool sameLook = bound_ && displayMode == displayMode_ && magnify == options_.magnify &&
                        std::max(sound.Channels(), 1) == channels_;
  snapshot_ = std::make_shared<LColumnSnapshot>(sound);
  channels_ = snapshot_->Channels();
  displayMode_ = displayMode;
  options_.split = channels_ == 2 && displayMode != 0;
  options_.magnify = magnify;
  ++generation_;
  if (sameLook && changed) {
    InvalidateFrames(changed->start, changed->end);
  } else {
    Invalidate(0, geometry_.Width());
    update();
  }
  bound_ = true;
  setEnabled(true);
  Schedule();
}

void LWaveControl::Unbind() {
  painter_->Cancel(++generation_);
  snapshot_.reset();
  bound_ = false;
  Invalidate(0, geometry_.Width());
  setEnabled(false);
  update();
}

const LSegmentList* LWaveControl::BoundSound() const { return snapshot_ ? &snapshot_->Sound() : nullptr; }

void LWaveControl::Relayout() {
  ratio_ = devicePixelRatioF();
  const int32_t columns = std::max<int32_t>(1, static_cast<int32_t>(std::lround((width() - 2) * ratio_)));
  rows_ = std::max<int32_t>(1, static_cast<int32_t>(std::lround((height() - 2) * ratio_)));
  if (canvas_.width() != columns || canvas_.height() != rows_) {
    canvas_ = QImage(columns, rows_, QImage::Format_RGB32);
    canvas_.setDevicePixelRatio(ratio_);
  }
  canvas_.setDevicePixelRatio(ratio_);
  if (columns != geometry_.Width() || static_cast<int32_t>(top_.size()) != columns) {
    geometry_.SetWidth(columns);
    top_.assign(static_cast<size_t>(columns), 0);
    bottom_.assign(static_cast<size_t>(columns), 0);
    valid_.assign(static_cast<size_t>(columns), 0);
    options_.width = columns;
    ++generation_;
    Schedule();
  }
  update();
}

void LWaveControl::resizeEvent(QResizeEvent*) { Relayout(); }

void LWaveControl::SetView(int64_t start, int64_t length) {
  const LViewChange change = geometry_.SetView(start, length);
  options_.visibleFrames = geometry_.VisibleLength();
  if (!change.Any()) return;
  ++generation_;
  if (change.recomputeAll) {
    Invalidate(0, geometry_.Width());
    update();
  } else {
    Shift(change.shift);
  }
  Schedule();
}

void LWaveControl::Shift(int32_t columns) {
  const auto width = static_cast<int32_t>(top_.size());
  auto move = [&](std::vector<uint8_t>& bytes) {
    if (columns > 0) {
      std::move_backward(bytes.begin(), bytes.end() - columns, bytes.end());
      std::fill(bytes.begin(), bytes.begin() + columns, 0);
    } else {
      std::move(bytes.begin() - columns, bytes.end(), bytes.begin());
      std::fill(bytes.end() + columns, bytes.end(), 0);
    }
  };
  if (std::abs(columns) >= width) {
    Invalidate(0, width);
  } else {
    move(top_);
    move(bottom_);
    move(valid_);
  }
  update();
}

void LWaveControl::Invalidate(int32_t first, int32_t end) {
  first = std::clamp(first, 0, static_cast<int32_t>(valid_.size()));
  end = std::clamp(end, first, static_cast<int32_t>(valid_.size()));
  std::fill(valid_.begin() + first, valid_.begin() + end, 0);
}

void LWaveControl::InvalidateFrames(int64_t start, int64_t end) {
  if (!geometry_.HasView() || end <= start) return;
  if (end <= geometry_.ViewStart()) return;
  const int32_t a = std::max(geometry_.FrameToColumn(start), 0);
  const int32_t b = geometry_.FrameToColumn(end);
  if (a >= geometry_.Width()) return;
  // One column more on each side: a column's peak groups reach over its frames.
  const int32_t first = std::max(a - 1, 0);
  const int32_t last = std::min(b + 2, geometry_.Width());
  Invalidate(first, last);
  UpdateColumns(first, last);
}

void LWaveControl::Schedule() {
  if (!bound_ || !geometry_.HasView() || !painter_) return;
  const auto begin = std::find(valid_.begin(), valid_.end(), 0);
  if (begin == valid_.end()) return;
  const auto last = std::find(valid_.rbegin(), valid_.rend(), 0);
  LColumnJob job;
  job.generation = generation_;
  job.snapshot = snapshot_;
  job.map = geometry_.Map();
  job.options = options_;
  job.first = static_cast<int32_t>(begin - valid_.begin());
  job.end = static_cast<int32_t>(valid_.rend() - last);
  painter_->Request(std::move(job));
}

void LWaveControl::Apply(const LColumnResult& result) {
  if (result.generation != generation_) return;  // computed for another view or sound
  const auto count = static_cast<int32_t>(result.top.size());
  if (result.first < 0 || result.first + count > static_cast<int32_t>(top_.size())) return;
  std::copy(result.top.begin(), result.top.end(), top_.begin() + result.first);
  std::copy(result.bottom.begin(), result.bottom.end(), bottom_.begin() + result.first);
  std::fill(valid_.begin() + result.first, valid_.begin() + result.first + count, 1);
  UpdateColumns(result.first, result.first + count);
}

bool LWaveControl::Complete() const { return !bound_ || !geometry_.HasView() || InvalidColumns() == 0; }

int32_t LWaveControl::InvalidColumns() const {
  return static_cast<int32_t>(std::count(valid_.begin(), valid_.end(), 0));
}

double LWaveControl::XOfColumn(int32_t column) const { return 1.0 + column / ratio_; }

int32_t LWaveControl::ColumnAt(double x) const { return static_cast<int32_t>(std::floor((x - 1.0) * ratio_)); }

void LWaveControl::UpdateColumns(int32_t first, int32_t end) {
  if (end <= first) return;
  const int left = static_cast<int>(std::floor(XOfColumn(first))) - 1;
  const int right = static_cast<int>(std::ceil(XOfColumn(end))) + 1;
  update(QRect(left, 0, right - left, height()));
}

// The columns from frame a to frame b, widened by 4 pixels for the cursor's triangles.
void LWaveControl::UpdateFrames(int64_t a, int64_t b) {
  if (!geometry_.HasView()) return;
  if (a > b) std::swap(a, b);
  int32_t first = geometry_.FrameToColumn(a);
  int32_t last = geometry_.FrameToColumn(b);
  if (last < 0) return;
  first = std::max(first, 0);
  const int pad = static_cast<int>(std::ceil((kTriangle + kCursorClearance) * ratio_));
  UpdateColumns(first - pad, last + 1 + pad);
}

void LWaveControl::SetCursor(int64_t frame, int64_t rangeLength) {
  if (frame == mouse_.cursor && rangeLength == cursorRange_) return;
  UpdateFrames(mouse_.cursor, mouse_.cursor + cursorRange_);
  mouse_.cursor = frame;
  cursorRange_ = std::max<int64_t>(rangeLength, 0);
  if (!mouse_.Captured() && mouse_.selectionStart >= mouse_.selectionEnd) mouse_.pivot = frame;
  UpdateFrames(frame, frame + cursorRange_);
}

void LWaveControl::SetSelection(int64_t start, int64_t end) {
  if (start == mouse_.selectionStart && end == mouse_.selectionEnd) return;
  UpdateFrames(mouse_.selectionStart, start);
  UpdateFrames(mouse_.selectionEnd, end);
  mouse_.selectionStart = start;
  mouse_.selectionEnd = end;
}

void LWaveControl::SetDocumentEnd(int64_t end) {
  if (end == mouse_.soundEnd) return;
  UpdateFrames(mouse_.soundEnd, end);
  mouse_.soundEnd = end;
}

void LWaveControl::SetMarks(std::vector<int64_t> frames) {
  if (frames == mouse_.marks) return;
  mouse_.marks = std::move(frames);
  update();
}

void LWaveControl::SetViewMarker(int64_t start, int64_t end) {
  if (start == markerStart_ && end == markerEnd_) return;
  markerStart_ = start;
  markerEnd_ = end;
  update();
}

// --- painting ---

void LWaveControl::Render(int32_t first, int32_t end) {
  const int32_t width = canvas_.width();
  first = std::clamp(first, 0, width);
  end = std::clamp(end, first, width);
  if (first >= end) return;
  const int32_t rows = canvas_.height();
  const int32_t count = end - first;
  const QRgb face = palette().color(QPalette::Button).rgb();
  const QRgb greyText = palette().color(QPalette::Disabled, QPalette::WindowText).rgb();
  const bool lanes = displayMode_ == 2 && channels_ == 2;
  const int64_t cursor = mouse_.cursor;
  const int32_t cursorColumn = geometry_.FrameToColumn(cursor);
  const auto triangle = std::max(2, static_cast<int>(std::lround(kTriangle * ratio_)));
  const int clearance = static_cast<int>(std::lround(kCursorClearance * ratio_));
  const bool selection = mouse_.selectionStart < mouse_.selectionEnd;

  // Per column: background, waveform, and the rows the waveform covers in each lane.
  struct LColumnLook {
    QRgb back, wave;
    int32_t y0, y1, y2, y3;  // [y0, y1) upper or only lane, [y2, y3) lower lane
  };
  std::vector<LColumnLook> looks(static_cast<size_t>(count));
  for (int32_t c = first; c < end; ++c) {
    LColumnLook& look = looks[static_cast<size_t>(c - first)];
    const int64_t f0 = geometry_.ColumnToFrame(c);
    const int64_t f1 = std::max(geometry_.ColumnToFrame(c + 1), f0 + 1);
    const bool outside = f0 < 0 || f0 >= mouse_.soundEnd;
    const bool inRange = cursorRange_ > 0 && f1 > cursor && f0 < cursor + cursorRange_;
    const bool inSelection = selection && f1 > mouse_.selectionStart && f0 < mouse_.selectionEnd;
    if (outside) {
      look.back = face, look.wave = greyText;
    } else if (inRange && inSelection) {
      look.back = kDarkGreen, look.wave = kPaleYellow;
    } else if (inRange) {
      look.back = kPaleYellow, look.wave = kDarkGreen;
    } else if (inSelection) {
      look.back = kSelectionBlue, look.wave = kWhite;
    } else {
      look.back = kBlack, look.wave = kWaveGreen;
    }
    const bool nearCursor = cursorColumn >= 0 && std::abs(c - cursorColumn) <= clearance;
    auto bar = [&](int32_t centre, int32_t scale, int up, int down, int32_t top, int32_t bottom, int32_t& a,
                   int32_t& b) {
      int32_t u = static_cast<int32_t>((int64_t{up} * scale) >> 9);
      int32_t d = static_cast<int32_t>((int64_t{down} * scale) >> 9);
      if (nearCursor) {
        u = std::min(u, std::max(centre - top - triangle, 0));
        d = std::min(d, std::max(bottom - centre - triangle - 1, 0));
      }
      a = centre - u;
      b = centre + d + 1;  // the centre row always shows the line
    };
    const int up = c < static_cast<int32_t>(top_.size()) ? top_[c] : 0;
    const int down = c < static_cast<int32_t>(bottom_.size()) ? bottom_[c] : 0;
    if (lanes) {
      bar(rows / 4, rows / 2, up, up, 0, rows / 2, look.y0, look.y1);
      bar(3 * rows / 4, rows / 2, down, down, rows / 2, rows, look.y2, look.y3);
    } else {
      bar(rows / 2, rows, up, down, 0, rows, look.y0, look.y1);
      look.y2 = look.y3 = 0;
    }
  }
  for (int32_t y = 0; y < rows; ++y) {
    auto* line = reinterpret_cast<QRgb*>(canvas_.scanLine(y)) + first;
    for (int32_t i = 0; i < count; ++i) {
      const LColumnLook& look = looks[static_cast<size_t>(i)];
      const bool wave = (y >= look.y0 && y < look.y1) || (y >= look.y2 && y < look.y3);
      line[i] = wave ? look.wave : look.back;
    }
  }
  auto put = [&](int32_t x, int32_t y, QRgb colour) {
    if (x >= first && x < end && y >= 0 && y < rows) reinterpret_cast<QRgb*>(canvas_.scanLine(y))[x] = colour;
  };
  if (lanes) {
    for (int32_t x = first; x < end; ++x) put(x, rows / 2, kLaneLine);
  }
  // A vertical line from 6 pixels below the top to 6 above the bottom, with a triangle at
  // each end pointing inwards; dotted for marks.
  auto marker = [&](int32_t column, QRgb colour, bool dotted) {
    if (column < first - triangle || column >= end + triangle) return;
    for (int32_t y = triangle; y < rows - triangle; ++y) {
      if (!dotted || (y / std::max(1, static_cast<int>(ratio_))) % 2 == 0) put(column, y, colour);
    }
    for (int32_t r = 0; r < triangle; ++r) {
      const int32_t half = (triangle - 1 - r) / 2;
      for (int32_t x = column - half; x <= column + half; ++x) {
        put(x, r, colour);
        put(x, rows - 1 - r, colour);
      }
    }
  };
  for (int64_t mark : mouse_.marks) {
    const int32_t column = geometry_.FrameToColumn(mark);
    if (column >= 0 && column < width) marker(column, kMarkBlue, true);
  }
  if (markerStart_ < markerEnd_) {
    // The range another view shows: a white frame.
    const int32_t a = std::max(geometry_.FrameToColumn(markerStart_), 0);
    const int32_t b = std::clamp(geometry_.FrameToColumn(markerEnd_), a, width - 1);
    for (int32_t x = a; x <= b; ++x) {
      put(x, 0, kWhite);
      put(x, rows - 1, kWhite);
    }
    for (int32_t y = 0; y < rows; ++y) {
      put(a, y, kWhite);
      put(b, y, kWhite);
    }
  }
  if (cursorColumn >= 0 && cursorColumn < width) marker(cursorColumn, kYellow, false);
}

void LWaveControl::paintEvent(QPaintEvent* event) {
  if (!qFuzzyCompare(ratio_, devicePixelRatioF())) Relayout();
  QPainter p(this);
  const QRect area = event->rect();
  if (!bound_) {
    p.fillRect(area, palette().color(QPalette::Disabled, QPalette::Window).darker(110));
  } else {
    const int32_t first = static_cast<int32_t>(std::floor((area.left() - 1) * ratio_)) - 1;
    const int32_t end = static_cast<int32_t>(std::ceil((area.right() + 1) * ratio_)) + 1;
    const int32_t a = std::clamp(first, 0, canvas_.width());
    const int32_t b = std::clamp(end, a, canvas_.width());
    Render(a, b);
    p.drawImage(QPointF(XOfColumn(a), 1.0), canvas_, QRectF(a, 0, b - a, canvas_.height()));
  }
  // A sunken border: black at the top and left, white at the bottom and right.
  p.setPen(Qt::black);
  p.drawLine(0, 0, width() - 1, 0);
  p.drawLine(0, 0, 0, height() - 1);
  p.setPen(Qt::white);
  p.drawLine(0, height() - 1, width() - 1, height() - 1);
  p.drawLine(width() - 1, 0, width() - 1, height() - 1);
}

// --- the mouse ---

bool LWaveControl::Shifted(const QMouseEvent* event) const { return (event->modifiers() & Qt::ShiftModifier) != 0; }

void LWaveControl::Notify(const std::vector<LWaveNotice>& notices) {
  for (LWaveNotice notice : notices) {
    if (notify) notify(notice);
  }
}

void LWaveControl::ShowPointer(int32_t column) {
  setCursor(mouse_.Pointer(geometry_, column) == LWavePointer::kSizeHorizontal ? Qt::SizeHorCursor : Qt::ArrowCursor);
}

void LWaveControl::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !bound_ || !geometry_.HasView()) return QWidget::mousePressEvent(event);
  const int64_t oldStart = mouse_.selectionStart, oldEnd = mouse_.selectionEnd, oldCursor = mouse_.cursor;
  const int32_t column = ColumnAt(event->position().x());
  lastColumn_ = column;
  Notify(mouse_.Press(geometry_, column, static_cast<int32_t>(event->position().y()) - 1, height() - 2, Shifted(event)));
  ShowPointer(column);
  UpdateFrames(oldCursor, oldCursor + cursorRange_);
  cursorRange_ = 0;
  UpdateFrames(mouse_.cursor, mouse_.cursor);
  UpdateFrames(std::min(oldStart, mouse_.selectionStart), std::max(oldEnd, mouse_.selectionEnd));
  if (mouse_.DraggedMark() < 0 && selecting) selecting();
}

void LWaveControl::FollowMouse() {
  if (!mouse_.Captured() || mouse_.DraggedMark() >= 0) return;
  const int64_t oldStart = mouse_.selectionStart, oldEnd = mouse_.selectionEnd;
  mouse_.Move(geometry_, lastColumn_, 0, false);
  UpdateFrames(oldStart, mouse_.selectionStart);
  UpdateFrames(oldEnd, mouse_.selectionEnd);
  if (selecting) selecting();
}

void LWaveControl::mouseMoveEvent(QMouseEvent* event) {
  const int32_t column = ColumnAt(event->position().x());
  lastColumn_ = column;
  if (!mouse_.Captured()) {
    ShowPointer(column);
    return;
  }
  const int64_t oldStart = mouse_.selectionStart, oldEnd = mouse_.selectionEnd;
  const std::vector<int64_t> oldMarks = mouse_.marks;
  const std::vector<LWaveNotice> notices = mouse_.Move(geometry_, column, static_cast<int32_t>(event->position().y()) - 1, Shifted(event));
  if (mouse_.DraggedMark() >= 0) {
    if (oldMarks != mouse_.marks) update();
    return;
  }
  UpdateFrames(oldStart, mouse_.selectionStart);
  UpdateFrames(oldEnd, mouse_.selectionEnd);
  if (selecting) selecting();
  Notify(notices);
}

void LWaveControl::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !mouse_.Captured()) return QWidget::mouseReleaseEvent(event);
  const int64_t oldStart = mouse_.selectionStart, oldEnd = mouse_.selectionEnd;
  const bool mark = mouse_.DraggedMark() >= 0;
  const std::vector<LWaveNotice> notices =
      mouse_.Release(geometry_, ColumnAt(event->position().x()), static_cast<int32_t>(event->position().y()) - 1, Shifted(event));
  setCursor(Qt::ArrowCursor);
  if (mark) {
    update();
  } else {
    UpdateFrames(oldStart, mouse_.selectionStart);
    UpdateFrames(oldEnd, mouse_.selectionEnd);
  }
  Notify(notices);
}

void LWaveControl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !bound_) return QWidget::mouseDoubleClickEvent(event);
  if (doubleClicked) doubleClicked();
}

void LWaveControl::contextMenuEvent(QContextMenuEvent* event) {
  if (contextMenu) contextMenu(event->globalPos());
}

}  // namespace klangor
