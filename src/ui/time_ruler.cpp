#include "ui/time_ruler.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "audio/time_units.h"
#include "ui/wave_control.h"

namespace klangor {
namespace {

constexpr double kLabelSpacing = 90;  // logical pixels at least between labels

}  // namespace

LTimeRuler::LTimeRuler(const LWaveControl& control, QWidget* parent) : QWidget(parent), control_(control) {
  setObjectName("timeRuler");
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LTimeRuler::SetSampleRate(int32_t rate) {
  if (rate > 0 && rate != rate_) {
    rate_ = rate;
    update();
  }
}

QSize LTimeRuler::sizeHint() const { return {200, fontMetrics().height() + 8}; }

int64_t LTimeRuler::LabelStepMs(double msPerPixel) {
  static const int64_t kSteps[] = {1,     2,     5,      10,     20,     50,      100,     200,     500,
                                   1000,  2000,  5000,   10000,  15000,  30000,   60000,   120000,  300000,
                                   600000, 900000, 1800000, 3600000, 7200000, 18000000, 36000000};
  for (int64_t step : kSteps) {
    if (static_cast<double>(step) / std::max(msPerPixel, 1e-9) >= kLabelSpacing) return step;
  }
  return 36000000;
}

QString LTimeRuler::Label(int64_t ms, int64_t stepMs) {
  const int64_t hours = ms / 3600000;
  const int64_t minutes = ms / 60000 % 60;
  const int64_t seconds = ms / 1000 % 60;
  QString text = hours > 0 ? QString::asprintf("%ld:%.2ld:%.2ld", static_cast<long>(hours), static_cast<long>(minutes),
                                               static_cast<long>(seconds))
                           : QString::asprintf("%ld:%.2ld", static_cast<long>(minutes), static_cast<long>(seconds));
  if (stepMs < 1000) text += QString::asprintf(".%.3ld", static_cast<long>(ms % 1000));
  return text;
}

void LTimeRuler::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  const LWaveGeometry& g = control_.Geometry();
  if (!g.HasView() || rate_ <= 0) return;
  const double ratio = control_.devicePixelRatioF();
  // Logical x in this widget of a frame (the ruler lies exactly above the control).
  const double dx = control_.mapTo(window(), QPoint(0, 0)).x() - mapTo(window(), QPoint(0, 0)).x();
  auto xOf = [&](double frame) { return dx + 1.0 + (frame * g.Scale() - static_cast<double>(g.Origin())) / ratio; };
  const double msPerPixel = static_cast<double>(g.VisibleLength()) * 1000.0 / rate_ * ratio / std::max(g.Width(), 1);
  const int64_t step = LabelStepMs(msPerPixel);
  const int64_t minor = step % 5 == 0 ? step / 5 : step / 2;
  const int64_t firstMs = FramesToMs(g.ViewStart(), rate_);
  const int64_t lastMs = FramesToMs(g.ViewStart() + g.VisibleLength(), rate_);
  p.setPen(palette().color(QPalette::WindowText));
  const int baseline = height() - 1;
  p.drawLine(0, baseline, width(), baseline);
  for (int64_t ms = firstMs / std::max<int64_t>(minor, 1) * minor; ms <= lastMs; ms += std::max<int64_t>(minor, 1)) {
    const double x = xOf(static_cast<double>(ms) * rate_ / 1000.0);
    if (x < dx || x > width()) continue;
    const bool major = ms % step == 0;
    p.drawLine(QPointF(x, baseline - (major ? 6 : 3)), QPointF(x, baseline));
    if (major) p.drawText(QPointF(x + 3, baseline - 6), Label(ms, step));
  }
}

}  // namespace klangor
