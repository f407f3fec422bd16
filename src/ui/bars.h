#pragma once
// The frame's bars: the player bar (transport buttons, the dB volume slider "LDBEdit", the
// level meter and the four time fields) as custom-painted widgets.

#include <QAbstractButton>
#include <QIcon>
#include <QLineEdit>
#include <QWidget>
#include <functional>

namespace klangor {

class LSoundDocument;

// The icon of a tool-bar command (new, open, save, undo, redo, cut, copy, paste, delete);
// a null icon for others.
QIcon CommandIcon(int command);

// A transport button with its symbol painted: record, play, scrub, stop, to start, rewind,
// forward, to end.
class LTransportButton final : public QAbstractButton {
 public:
  enum class LSymbol { kRecord, kPlay, kScrub, kStop, kToStart, kRewind, kForward, kToEnd };
  LTransportButton(LSymbol symbol, QWidget* parent);
  QSize sizeHint() const override { return {30, 26}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  LSymbol symbol_;
};

// The dB slider ("LDBEdit"): a signed dB value between a minimum and a maximum, a 12-pixel
// thumb, and a text part showing "%ddB" ("--dB" at -127 or lower) that also takes typed values.
class LDbSlider final : public QWidget {
 public:
  LDbSlider(int minimum, int maximum, QWidget* parent);
  int Value() const { return value_; }
  void SetValue(int value);
  // Called with every change the user makes.
  std::function<void(int)> changed;
  QSize sizeHint() const override { return {170, 24}; }
  static QString Text(int value);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  QRect Track() const;
  void MoveTo(int x);

  int minimum_;
  int maximum_;
  int value_;
  bool dragging_ = false;
  QLineEdit* edit_;
};

// Two bars of the playing level (0..100 each), green to yellow to red.
class LLevelMeter final : public QWidget {
 public:
  explicit LLevelMeter(QWidget* parent);
  void SetLevels(int left, int right);
  QSize sizeHint() const override { return {120, 24}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  int left_ = 0;
  int right_ = 0;
};

// The time fields of the player bar: selection start (106), end (107), length (108) and the
// cursor (109).
class LTimeFields final : public QWidget {
 public:
  explicit LTimeFields(QWidget* parent);
  // Empties the fields without a document.
  void Show(const LSoundDocument* document);
  // "%ld:%.2ld:%.2ld.%.3ld" of a time, with a leading "-" when negative.
  static QString Milliseconds(int64_t ms);
  // "%ld:%.2ld:%.2ld.%.2ld" of a time in hundredths (5 ms added before dividing by 10).
  static QString Hundredths(int64_t ms);

 private:
  QLineEdit* start_;
  QLineEdit* end_;
  QLineEdit* length_;
  QLineEdit* cursor_;
};

}  // namespace klangor
