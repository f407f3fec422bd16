#include "ui/wave_format_form.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QWidget>
#include <functional>
#include <memory>

#include "edit/wave_format_dialog.h"
#include "ui/qt_text.h"

namespace klangor {
namespace {

void Fill(QComboBox* box, const std::vector<std::string>& items, int current) {
  const QSignalBlocker quiet(box);
  box->clear();
  for (const std::string& item : items) box->addItem(Q(item));
  box->setCurrentIndex(current);
  box->setEnabled(!items.empty());
}

}  // namespace

QWidget* MakeWaveFormatFields(QWidget* parent, LWaveFormatDlg& model) {
  auto* fields = new QWidget(parent);
  auto* layout = new QFormLayout(fields);
  layout->setContentsMargins(0, 0, 0, 0);
  auto make = [&](const char* label, const char* name) {
    auto* box = new QComboBox(fields);
    box->setObjectName(name);
    box->setMinimumWidth(220);
    layout->addRow(Q(label), box);
    return box;
  };
  QComboBox* format = make(LWaveFormatDlg::kFormatLabel, "format");
  QComboBox* rate = make(LWaveFormatDlg::kRateLabel, "rate");
  QComboBox* channels = make(LWaveFormatDlg::kChannelsLabel, "channels");
  QComboBox* detail = make(LWaveFormatDlg::kDetailLabel, "detail");
  auto* summary = new QLabel(fields);
  summary->setObjectName("summary");
  layout->addRow(summary);

  auto show = std::make_shared<std::function<void()>>();
  *show = [&model, format, rate, channels, detail, summary] {
    Fill(format, model.FormatNames(), model.FormatIndex());
    Fill(rate, model.RateNames(), model.RateIndex());
    Fill(channels, model.ChannelNames(), model.ChannelIndex());
    Fill(detail, model.DetailNames(), model.DetailIndex());
    summary->setText(Q(model.Summary()));
  };
  auto on = [fields, show](QComboBox* box, std::function<void(int)> select) {
    QObject::connect(box, &QComboBox::currentIndexChanged, fields, [show, select](int index) {
      if (index < 0) return;
      select(index);
      (*show)();
    });
  };
  on(format, [&model](int i) { model.SelectFormat(i); });
  on(rate, [&model](int i) { model.SelectRate(i); });
  on(channels, [&model](int i) { model.SelectChannels(i); });
  on(detail, [&model](int i) { model.SelectDetail(i); });
  (*show)();
  return fields;
}

}  // namespace klangor
