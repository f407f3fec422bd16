#pragma once
// The time ruler above a waveform control: ticks and times ("m:ss" or "m:ss.mmm", hours in
// front when there are any) of the frames the control shows, at spacings of 1-2-5 steps that
// keep the labels apart.

#include <QWidget>
#include <cstdint>

namespace klangor {

class LWaveControl;

class LTimeRuler final : public QWidget {
 public:
  LTimeRuler(const LWaveControl& control, QWidget* parent);
  void SetSampleRate(int32_t rate);
  QSize sizeHint() const override;
  // The step between two labelled ticks for `msPerPixel`, in milliseconds.
  static int64_t LabelStepMs(double msPerPixel);
  // The label of a tick at `ms` when labels are `stepMs` apart.
  static QString Label(int64_t ms, int64_t stepMs);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const LWaveControl& control_;
  int32_t rate_ = 44100;
};

}  // namespace klangor
