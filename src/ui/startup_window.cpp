#include "ui/startup_window.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <cmath>

namespace klangor {

LStartupWindow::LStartupWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("startupWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(380, 180);
}

void LStartupWindow::ShowFor(int milliseconds) {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  show();
  QTimer::singleShot(milliseconds, this, &QWidget::close);
}

void LStartupWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient back(0, 0, 0, height());
  back.setColorAt(0, QColor(20, 40, 70));
  back.setColorAt(1, QColor(5, 95, 167));
  p.fillRect(rect(), back);
  // A few bars of a waveform behind the name.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(102, 255, 102, 90));
  for (int x = 0; x < width(); x += 6) {
    const int h = static_cast<int>(28 + 24 * std::sin(x * 0.07) * std::cos(x * 0.021));
    p.drawRect(x, height() - 40 - h / 2, 4, h);
  }
  p.setPen(Qt::white);
  QFont title = font();
  title.setPointSize(28);
  title.setBold(true);
  p.setFont(title);
  p.drawText(QRect(0, 24, width(), 60), Qt::AlignCenter, "Klangor");
  QFont small = font();
  small.setPointSize(10);
  p.setFont(small);
  p.drawText(QRect(0, 84, width(), 24), Qt::AlignCenter,
             QString("Audio-Editor  ·  Version %1").arg(QCoreApplication::applicationVersion()));
  p.setPen(QColor(80, 80, 80));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace klangor
