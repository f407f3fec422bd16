#include "ui/bars.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <cstdlib>

#include "audio/time_units.h"
#include "store/sound_document.h"

namespace klangor {
namespace {

void Triangle(QPainter& p, QPointF a, QPointF b, QPointF c) {
  QPainterPath path;
  path.moveTo(a);
  path.lineTo(b);
  path.lineTo(c);
  path.closeSubpath();
  p.drawPath(path);
}

QString TimeText(int64_t ms, int64_t unitMs, const char* format) {
  const bool negative = ms < 0;
  const int64_t a = std::llabs(ms);
  // Hundredths are rounded: 5 ms are added before dividing by 10.
  const int64_t units = unitMs == 1 ? a : (a + 5) / 10;
  const int64_t perSecond = 1000 / unitMs;
  const int64_t seconds = units / perSecond;
  return (negative ? "-" : "") + QString::asprintf(format, static_cast<long>(seconds / 3600),
                                                  static_cast<long>(seconds / 60 % 60), static_cast<long>(seconds % 60),
                                                  static_cast<long>(units % perSecond));
}

}  // namespace

QIcon CommandIcon(int command) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(2, 2);  // drawn on a 16 x 16 grid
  const QPen ink(QColor(40, 40, 40), 1.2);
  const QColor paper(250, 250, 250);
  auto page = [&](QRectF r) {
    p.setPen(ink);
    p.setBrush(paper);
    p.drawRect(r);
  };
  auto arrow = [&](bool left) {
    QPainterPath path;
    path.moveTo(left ? 12.5 : 3.5, 12);
    path.cubicTo(left ? 13 : 3, 5, left ? 6 : 10, 4.5, left ? 4 : 12, 6.5);
    p.setPen(QPen(QColor(30, 90, 170), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 90, 170));
    Triangle(p, {left ? 1.5 : 14.5, 7}, {left ? 6.5 : 9.5, 3}, {left ? 6.5 : 9.5, 10});
  };
  switch (command) {
    case 1001: page({3.5, 1.5, 9, 13}); break;
    case 1002:
      p.setPen(ink);
      p.setBrush(QColor(240, 200, 90));
      p.drawRect(QRectF(1.5, 4.5, 13, 9));
      p.drawRect(QRectF(1.5, 3, 5, 1.5));
      break;
    case 1004:
      p.setPen(ink);
      p.setBrush(QColor(60, 90, 160));
      p.drawRect(QRectF(1.5, 1.5, 13, 13));
      p.setBrush(paper);
      p.drawRect(QRectF(4, 1.5, 8, 5));
      p.drawRect(QRectF(3.5, 9, 9, 5.5));
      break;
    case 2001: arrow(true); break;
    case 2033: arrow(false); break;
    case 2002:
      p.setPen(QPen(QColor(40, 40, 40), 1.4));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(4.5, 12), 2.3, 2.3);
      p.drawEllipse(QPointF(11.5, 12), 2.3, 2.3);
      p.drawLine(QPointF(6, 10.3), QPointF(11, 1.5));
      p.drawLine(QPointF(10, 10.3), QPointF(5, 1.5));
      break;
    case 2003:
      page({1.5, 1.5, 8, 10});
      page({6.5, 4.5, 8, 10});
      break;
    case 2004:
      p.setPen(ink);
      p.setBrush(QColor(180, 130, 70));
      p.drawRect(QRectF(2.5, 2.5, 11, 12));
      page({5, 5, 6, 8});
      p.setBrush(QColor(120, 120, 120));
      p.drawRect(QRectF(5.5, 1.5, 5, 2.5));
      break;
    case 2006:
      p.setPen(QPen(QColor(200, 30, 30), 2.2));
      p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
      p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
      break;
    default: return {};
  }
  p.end();
  return QIcon(pixmap);
}

LTransportButton::LTransportButton(LSymbol symbol, QWidget* parent) : QAbstractButton(parent), symbol_(symbol) {
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::ArrowCursor);
}

void LTransportButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
  QLinearGradient face(r.topLeft(), r.bottomLeft());
  const bool down = isDown() || isChecked();
  face.setColorAt(0, down ? QColor(170, 170, 170) : QColor(250, 250, 250));
  face.setColorAt(1, down ? QColor(215, 215, 215) : QColor(205, 205, 205));
  p.setPen(QColor(120, 120, 120));
  p.setBrush(face);
  p.drawRoundedRect(r, 3, 3);
  const QColor ink = isEnabled() ? QColor(30, 30, 30) : QColor(150, 150, 150);
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  const double cx = r.center().x(), cy = r.center().y(), s = std::min(r.width(), r.height()) * 0.28;
  switch (symbol_) {
    case LSymbol::kRecord:
      p.setBrush(isEnabled() ? QColor(210, 30, 30) : ink);
      p.drawEllipse(QPointF(cx, cy), s, s);
      break;
    case LSymbol::kPlay: Triangle(p, {cx - s, cy - s}, {cx + s, cy}, {cx - s, cy + s}); break;
    case LSymbol::kScrub:
      Triangle(p, {cx - s * 1.2, cy - s}, {cx + s * 0.2, cy}, {cx - s * 1.2, cy + s});
      p.drawRect(QRectF(cx + s * 0.5, cy - s, s * 0.5, 2 * s));
      break;
    case LSymbol::kStop: p.drawRect(QRectF(cx - s, cy - s, 2 * s, 2 * s)); break;
    case LSymbol::kToStart:
      p.drawRect(QRectF(cx - s * 1.2, cy - s, s * 0.4, 2 * s));
      Triangle(p, {cx + s, cy - s}, {cx - s * 0.7, cy}, {cx + s, cy + s});
      break;
    case LSymbol::kRewind:
      Triangle(p, {cx, cy - s}, {cx - s * 1.2, cy}, {cx, cy + s});
      Triangle(p, {cx + s * 1.2, cy - s}, {cx, cy}, {cx + s * 1.2, cy + s});
      break;
    case LSymbol::kForward:
      Triangle(p, {cx - s * 1.2, cy - s}, {cx, cy}, {cx - s * 1.2, cy + s});
      Triangle(p, {cx, cy - s}, {cx + s * 1.2, cy}, {cx, cy + s});
      break;
    case LSymbol::kToEnd:
      Triangle(p, {cx - s, cy - s}, {cx + s * 0.7, cy}, {cx - s, cy + s});
      p.drawRect(QRectF(cx + s * 0.8, cy - s, s * 0.4, 2 * s));
      break;
  }
}

LDbSlider::LDbSlider(int minimum, int maximum, QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(std::max(minimum, maximum)), value_(maximum_) {
  setObjectName("LDBEdit");
  edit_ = new QLineEdit(this);
  edit_->setObjectName("dbText");
  edit_->setAlignment(Qt::AlignRight);
  edit_->setText(Text(value_));
  connect(edit_, &QLineEdit::editingFinished, this, [this] {
    bool ok = false;
    QString text = edit_->text().trimmed();
    text.remove("dB", Qt::CaseInsensitive);
    const int typed = text.toInt(&ok);
    if (ok) {
      SetValue(typed);
      if (changed) changed(value_);
    } else {
      edit_->setText(Text(value_));
    }
  });
  setMinimumWidth(140);
}

QString LDbSlider::Text(int value) { return value <= -127 ? QString("--dB") : QString::asprintf("%ddB", value); }

void LDbSlider::SetValue(int value) {
  value_ = std::clamp(value, minimum_, maximum_);
  edit_->setText(Text(value_));
  update();
}

void LDbSlider::resizeEvent(QResizeEvent*) { edit_->setGeometry(width() - 52, 1, 52, height() - 2); }

QRect LDbSlider::Track() const { return QRect(6, height() / 2 - 3, width() - 52 - 18, 6); }

void LDbSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect track = Track();
  p.setPen(QColor(128, 128, 128));
  p.setBrush(QColor(235, 235, 235));
  p.drawRect(track);
  // Ticks every 10 dB.
  for (int db = minimum_ - minimum_ % 10; db <= maximum_; db += 10) {
    if (db < minimum_) continue;
    const int x = track.left() + (db - minimum_) * track.width() / std::max(maximum_ - minimum_, 1);
    p.drawLine(x, track.bottom() + 3, x, track.bottom() + 6);
  }
  const int x = track.left() + (value_ - minimum_) * track.width() / std::max(maximum_ - minimum_, 1);
  const QRect thumb(x - 6, 2, 12, height() - 4);
  QLinearGradient face(thumb.topLeft(), thumb.bottomLeft());
  face.setColorAt(0, QColor(250, 250, 250));
  face.setColorAt(1, QColor(190, 190, 190));
  p.setBrush(face);
  p.setPen(QColor(90, 90, 90));
  p.drawRect(thumb);
}

void LDbSlider::MoveTo(int x) {
  const QRect track = Track();
  const int span = maximum_ - minimum_;
  const int value = minimum_ + static_cast<int>((int64_t{x - track.left()} * span + track.width() / 2) /
                                                std::max(track.width(), 1));
  if (std::clamp(value, minimum_, maximum_) == value_) return;
  SetValue(value);
  if (changed) changed(value_);
}

void LDbSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  setCursor(Qt::PointingHandCursor);
  MoveTo(event->position().toPoint().x());
}

void LDbSlider::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) MoveTo(event->position().toPoint().x());
}

void LDbSlider::mouseReleaseEvent(QMouseEvent*) {
  dragging_ = false;
  unsetCursor();
}

LLevelMeter::LLevelMeter(QWidget* parent) : QWidget(parent) {
  setObjectName("levelMeter");
  setMinimumWidth(100);
}

void LLevelMeter::SetLevels(int left, int right) {
  left_ = std::clamp(left, 0, 100);
  right_ = std::clamp(right, 0, 100);
  update();
}

void LLevelMeter::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  const int barHeight = (height() - 6) / 2;
  const int levels[2] = {left_, right_};
  for (int channel = 0; channel < 2; ++channel) {
    const int y = 2 + channel * (barHeight + 2);
    const int segments = std::max((width() - 4) / 5, 1);
    const int lit = levels[channel] * segments / 100;
    for (int i = 0; i < segments; ++i) {
      const double at = static_cast<double>(i) / segments;
      QColor colour = at < 0.7 ? QColor(0, 200, 0) : at < 0.9 ? QColor(230, 230, 0) : QColor(230, 0, 0);
      if (i >= lit) colour = colour.darker(400);
      p.fillRect(2 + i * 5, y, 4, barHeight, colour);
    }
  }
}

LTimeFields::LTimeFields(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 0, 4, 0);
  layout->setSpacing(4);
  auto field = [&](const char* label, const char* name, int id) {
    layout->addWidget(new QLabel(QString::fromUtf8(label), this));
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setProperty("controlId", id);
    edit->setReadOnly(true);
    edit->setAlignment(Qt::AlignRight);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance("00:00:00.000") + 14);
    layout->addWidget(edit);
    return edit;
  };
  start_ = field("Start:", "selectionStart", 106);
  end_ = field("Ende:", "selectionEnd", 107);
  length_ = field("Länge:", "selectionLength", 108);
  cursor_ = field("Position:", "cursor", 109);
  layout->addStretch(1);
}

QString LTimeFields::Milliseconds(int64_t ms) { return TimeText(ms, 1, "%ld:%.2ld:%.2ld.%.3ld"); }
QString LTimeFields::Hundredths(int64_t ms) { return TimeText(ms, 10, "%ld:%.2ld:%.2ld.%.2ld"); }

void LTimeFields::Show(const LSoundDocument* d) {
  if (d == nullptr) {
    for (QLineEdit* edit : {start_, end_, length_, cursor_}) edit->clear();
    return;
  }
  const int32_t rate = d->sound.SampleRate();
  start_->setText(Milliseconds(FramesToMs(d->selectionStart, rate)));
  end_->setText(Milliseconds(FramesToMs(d->selectionEnd, rate)));
  length_->setText(Milliseconds(FramesToMs(int64_t{d->selectionEnd} - d->selectionStart, rate)));
  cursor_->setText(Hundredths(FramesToMs(d->cursor, rate)));
}

}  // namespace klangor
