#pragma once
// The start-up window: borderless, centred on the screen, with the program's name and
// version; it goes by itself after a moment or at a click.

#include <QWidget>

namespace klangor {

class LStartupWindow final : public QWidget {
 public:
  explicit LStartupWindow(QWidget* parent = nullptr);
  // Shows the window centred for `milliseconds`, then closes and deletes it.
  void ShowFor(int milliseconds);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override { close(); }
};

}  // namespace klangor
