#include "ui/dialog_forms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <vector>

#include "app/file_commands.h"
#include "edit/edit_dialogs.h"
#include "edit/raw_format_dialog.h"
#include "edit/save_option_dialogs.h"
#include "edit/wave_format_dialog.h"
#include "effects/amplify.h"
#include "effects/chorus.h"
#include "effects/compressor.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/envelope.h"
#include "effects/flanger.h"
#include "effects/normalize.h"
#include "effects/phaser.h"
#include "effects/rate_commands.h"
#include "effects/reverb.h"
#include "effects/speed_pitch.h"
#include "effects/stereo_pan.h"
#include "recorder/record_dialog.h"
#include "ui/preview_player.h"
#include "ui/qt_text.h"
#include "ui/record_form.h"
#include "ui/wave_format_form.h"

namespace klangor {
namespace {

// The envelope of "Dynamik": points over the selection (0..255) at levels 0..255 (128 is the
// level as it was). A click adds a point, dragging moves one, a right click removes one.
class LEnvelopeEditor final : public QWidget {
 public:
  LEnvelopeEditor(LEnvelopeDialog& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName("envelope");
    setMinimumSize(360, 180);
  }
  std::function<void()> changed;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setPen(QColor(60, 60, 60));
    p.drawLine(0, height() / 2, width(), height() / 2);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(102, 255, 102), 2));
    const LEnvelope& points = model_.Envelope();
    for (size_t i = 1; i < points.size(); ++i) p.drawLine(At(points[i - 1]), At(points[i]));
    p.setBrush(QColor(255, 255, 17));
    for (const LEnvelopePoint& point : points) p.drawEllipse(At(point), 4, 4);
  }
  void mousePressEvent(QMouseEvent* event) override {
    const int hit = Hit(event->position().toPoint());
    if (event->button() == Qt::RightButton) {
      if (hit >= 0 && model_.RemovePoint(static_cast<size_t>(hit))) Changed();
      return;
    }
    if (hit >= 0) {
      dragging_ = hit;
      return;
    }
    const auto [position, level] = ValueAt(event->position().toPoint());
    if (model_.AddPoint(position, level)) Changed();
    dragging_ = Hit(event->position().toPoint());
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (dragging_ < 0) return;
    const auto [position, level] = ValueAt(event->position().toPoint());
    model_.MovePoint(static_cast<size_t>(dragging_), position, level);
    Changed();
  }
  void mouseReleaseEvent(QMouseEvent*) override { dragging_ = -1; }

 private:
  QPointF At(const LEnvelopePoint& point) const {
    return {point.position * (width() - 9) / 255.0 + 4, (255 - point.level) * (height() - 9) / 255.0 + 4};
  }
  std::pair<uint8_t, uint8_t> ValueAt(QPoint at) const {
    const int position = std::clamp((at.x() - 4) * 255 / std::max(width() - 9, 1), 0, 255);
    const int level = std::clamp(255 - (at.y() - 4) * 255 / std::max(height() - 9, 1), 0, 255);
    return {static_cast<uint8_t>(position), static_cast<uint8_t>(level)};
  }
  int Hit(QPoint at) const {
    const LEnvelope& points = model_.Envelope();
    for (size_t i = 0; i < points.size(); ++i) {
      if ((At(points[i]) - QPointF(at)).manhattanLength() <= 8) return static_cast<int>(i);
    }
    return -1;
  }
  void Changed() {
    update();
    if (changed) changed();
  }

  LEnvelopeDialog& model_;
  int dragging_ = -1;
};

class LForm final : public QDialog {
 public:
  LForm(QWidget* parent, LDialogModel& model, LPreviewPlayer* player)
      : QDialog(parent), model_(model), player_(player) {
    setWindowTitle(Q(model.Title()));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    outer_ = new QVBoxLayout(this);
    fields_ = new QFormLayout;
    fields_->setLabelAlignment(Qt::AlignLeft);
    outer_->addLayout(fields_);
  }

  // A whole number typed into an edit box (the model checks its range).
  void Number(const char* label, int32_t& field, const char* name) {
    auto* edit = Edit(label, name);
    Bind([edit, &field] { edit->setText(QString::number(field)); },
         [edit, &field] { field = FieldToInt(S(edit->text())); });
  }
  QLineEdit* Text(const char* label, std::string& field, const char* name) {
    auto* edit = Edit(label, name);
    Bind([edit, &field] { edit->setText(Q(field)); }, [edit, &field] { field = S(edit->text()); });
    return edit;
  }
  QCheckBox* Check(const char* text, bool& field, const char* name) {
    auto* box = new QCheckBox(Q(text), this);
    box->setObjectName(name);
    connect(box, &QCheckBox::toggled, this, [this] { Edited(); });
    fields_->addRow(box);
    Bind([box, &field] { box->setChecked(field); }, [box, &field] { field = box->isChecked(); });
    return box;
  }
  // A yes/no field as two radio buttons side by side: `yes` is selected when it is true.
  void Radios(const char* yes, const char* no, bool& field, const char* name) {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* on = new QRadioButton(Q(yes), row);
    auto* off = new QRadioButton(Q(no), row);
    on->setObjectName(name);
    off->setObjectName(QString::fromUtf8(name) + "-off");
    layout->addWidget(on);
    layout->addWidget(off);
    layout->addStretch(1);
    connect(on, &QRadioButton::toggled, this, [this] { Edited(); });
    fields_->addRow(row);
    Bind([on, off, &field] { (field ? on : off)->setChecked(true); }, [on, &field] { field = on->isChecked(); });
  }
  // Called after the fields are shown and after every edit, with the model up to date: sets
  // which fields apply.
  void Refresh(std::function<void()> call) { refreshers_.push_back(std::move(call)); }
  // Enables or disables `field` together with its label.
  void Enable(QWidget* field, bool on) {
    field->setEnabled(on);
    if (QWidget* label = fields_->labelForField(field)) label->setEnabled(on);
  }
  void Slider(const char* label, int min, int max, std::function<int()> get, std::function<void(int)> set,
              const char* name, const char* unit) {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* slider = new QSlider(Qt::Horizontal, row);
    slider->setObjectName(name);
    slider->setRange(min, max);
    slider->setMinimumWidth(200);
    auto* value = new QLabel(row);
    value->setMinimumWidth(60);
    layout->addWidget(slider, 1);
    layout->addWidget(value);
    connect(slider, &QSlider::valueChanged, value,
            [value, unit](int v) { value->setText(QString::number(v) + QString::fromUtf8(unit)); });
    connect(slider, &QSlider::valueChanged, this, [this] { Edited(); });
    fields_->addRow(Q(label), row);
    Bind([slider, value, get, unit] {
           slider->setValue(get());
           value->setText(QString::number(get()) + QString::fromUtf8(unit));
         },
         [slider, set] { set(slider->value()); });
  }
  QComboBox* Choice(const char* label, int32_t& field, const QStringList& items, const char* name) {
    auto* box = new QComboBox(this);
    box->setObjectName(name);
    box->addItems(items);
    connect(box, &QComboBox::currentIndexChanged, this, [this] { Edited(); });
    fields_->addRow(Q(label), box);
    Bind([box, &field] { box->setCurrentIndex(field); }, [box, &field] { field = box->currentIndex(); });
    return box;
  }
  template <class Names>
  void Presets(const Names& names, std::function<void(int)> choose) {
    auto* box = new QComboBox(this);
    box->setObjectName(kPresetsName);
    for (const char* name : names) box->addItem(Q(name));
    connect(box, &QComboBox::activated, this, [this, choose](int index) {
      Store();
      choose(index);
      Load();
      Edited();
    });
    outer_->insertWidget(0, box);
  }
  void Custom(const char* label, QWidget* widget) {
    if (label[0] == '\0') {
      fields_->addRow(widget);
    } else {
      fields_->addRow(Q(label), widget);
    }
  }
  // Keeps `value` alive as long as the form (fields the form binds to).
  void Keep(std::shared_ptr<void> value) { kept_.push_back(std::move(value)); }
  // Called after any edit (the range dialog moves the selection at once).
  void OnEdit(std::function<void()> call) { onEdit_ = std::move(call); }
  // The "Vorschau" button: `play` starts, the second press stops.
  void Preview(bool enabled, std::function<LRef<LSoundStream>()> stream) {
    preview_ = new QPushButton(kPreviewText, this);
    preview_->setObjectName(kPreviewName);
    const bool playable = enabled && player_ != nullptr && player_->Available();
    preview_->setEnabled(playable);
    if (enabled && !playable) preview_->setToolTip(Q(kNoPlayerTip));
    stream_ = std::move(stream);
    connect(preview_, &QPushButton::clicked, this, [this] {
      if (player_->Playing()) {
        player_->Stop();
      } else {
        Store();
        player_->Play(stream_());
      }
      ShowPreviewState();
    });
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { ShowPreviewState(); });
    timer->start(200);
  }
  // A button that runs `call` (the range dialog's own preview).
  void Button(const char* text, std::function<void()> call) {
    auto* button = new QPushButton(Q(text), this);
    button->setObjectName(kPreviewName);
    connect(button, &QPushButton::clicked, this, [this, call] {
      Store();
      call();
    });
    extra_ = button;
  }

  bool Run() {
    auto* buttons = new QHBoxLayout;
    if (preview_ != nullptr) buttons->addWidget(preview_);
    if (extra_ != nullptr) buttons->addWidget(extra_);
    buttons->addStretch(1);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("ok");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Abbrechen", this);
    cancel->setObjectName("cancel");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    outer_->addSpacing(6);
    outer_->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { accept(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    Load();
    for (auto& refresh : refreshers_) refresh();
    loaded_ = true;
    const bool confirmed = exec() == QDialog::Accepted;
    if (preview_ != nullptr && player_ != nullptr && player_->Playing()) player_->Stop();
    return confirmed;
  }

  void accept() override {
    Store();
    const std::string problem = model_.Validate();
    if (!problem.empty()) {
      QMessageBox box(QMessageBox::Warning, Q(model_.Title()), Q(problem), QMessageBox::NoButton, this);
      box.addButton("OK", QMessageBox::AcceptRole);
      box.exec();
      return;
    }
    QDialog::accept();
  }

 private:
  QLineEdit* Edit(const char* label, const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setMinimumWidth(120);
    connect(edit, &QLineEdit::textEdited, this, [this] { Edited(); });
    fields_->addRow(Q(label), edit);
    return edit;
  }
  void Bind(std::function<void()> load, std::function<void()> store) {
    bindings_.push_back({std::move(load), std::move(store)});
  }
  void Load() {
    for (auto& binding : bindings_) binding.first();
  }
  void Store() {
    for (auto& binding : bindings_) binding.second();
  }
  void Edited() {
    if (!loaded_) return;
    if (!refreshers_.empty()) {
      Store();
      for (auto& refresh : refreshers_) refresh();
    }
    if (onEdit_) {
      Store();
      onEdit_();
    }
    // A change while the preview plays restarts it with the new values.
    if (preview_ != nullptr && player_ != nullptr && player_->Playing()) {
      Store();
      player_->Play(stream_());
    }
  }
  void ShowPreviewState() {
    if (preview_ == nullptr || player_ == nullptr) return;
    preview_->setText(player_->Playing() ? kPreviewStopText : kPreviewText);
  }

  LDialogModel& model_;
  LPreviewPlayer* player_;
  QVBoxLayout* outer_;
  QFormLayout* fields_;
  std::vector<std::pair<std::function<void()>, std::function<void()>>> bindings_;
  std::function<void()> onEdit_;
  std::vector<std::function<void()>> refreshers_;
  std::function<LRef<LSoundStream>()> stream_;
  QPushButton* preview_ = nullptr;
  QPushButton* extra_ = nullptr;
  bool loaded_ = false;
  std::vector<std::shared_ptr<void>> kept_;
};

void PreviewOf(LForm& form, LPreviewDialog& model) {
  form.Preview(model.PreviewEnabled(), [&model] { return model.PreviewStream(); });
}

// Flanger and chorus: the same four fields.
template <class Dialog>
void Modulation(LForm& form, Dialog& m) {
  form.Presets(Dialog::kPresets, [&m](int i) { m.ChoosePreset(i); });
  form.Number("Verzögerungszeit (ms):", m.timeMs, "time");
  form.Text("Modulation (Hz):", m.modulation, "modulation");
  form.Number("Tiefe (%):", m.depthPercent, "depth");
  form.Number("Steigerung (%):", m.gainPercent, "gain");
  PreviewOf(form, m);
}

template <class List>
QStringList Items(const List& texts) {
  QStringList items;
  for (const auto& text : texts) items << Q(std::string(text));
  return items;
}

// The MP3 fields (the MP3 dialog and the list files' dialog).
void Mp3Fields(LForm& form, LMp3EncodeDlg& m) {
  const QStringList rates = Items(LMp3EncodeDlg::BitRateTexts());
  form.Radios("Konstante Bitrate", "Variable Bitrate", m.constantBitRate, "constant");
  QWidget* cbr = form.Choice("Bitrate (kbit/s):", m.cbrIndex, rates, "cbr");
  QWidget* high = form.Check("Hohe Qualität", m.highQuality, "high");
  QWidget* min = form.Choice("Minimale Bitrate (kbit/s):", m.vbrMinIndex, rates, "vbr-min");
  QWidget* max = form.Choice("Maximale Bitrate (kbit/s):", m.vbrMaxIndex, rates, "vbr-max");
  QWidget* quality = form.Choice("Qualität:", m.qualityIndex, Items(LMp3EncodeDlg::QualityTexts()), "quality");
  QWidget* mode = form.Choice("Kanalmodus:", m.channelModeIndex, Items(LMp3EncodeDlg::ChannelModeTexts()), "mode");
  form.Check("Fehlerschutz (CRC)", m.errorProtection, "crc");
  form.Refresh([&form, &m, cbr, high, min, max, quality, mode] {
    form.Enable(cbr, m.ConstantRateEnabled());
    form.Enable(high, m.ConstantRateEnabled());
    for (QWidget* field : {min, max, quality}) form.Enable(field, m.VariableRateEnabled());
    form.Enable(mode, m.ChannelModeEnabled());
  });
}

// The save options forms; false for another model.
bool BuildSaveOptions(LForm& form, LDialogModel& model) {
  if (auto* m = dynamic_cast<LMp3EncodeDlg*>(&model)) {
    Mp3Fields(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LPlaylistEncodeDlg*>(&model)) {
    form.Text("Basis-URL:", m->rootUrl, "root-url")->setMinimumWidth(280);
    Mp3Fields(form, m->mp3);
    return true;
  }
  if (auto* m = dynamic_cast<LOggEncodeDlg*>(&model)) {
    const QStringList rates = Items(LOggEncodeDlg::BitRateTexts());
    form.Radios("Qualität", "Bitratenbereich", m->qualityMode, "quality-mode");
    QWidget* quality = form.Choice("Qualität:", m->qualityIndex, Items(LOggEncodeDlg::QualityTexts()), "quality");
    QWidget* min = form.Choice("Minimale Bitrate (kbit/s):", m->minIndex, rates, "vbr-min");
    QWidget* max = form.Choice("Maximale Bitrate (kbit/s):", m->maxIndex, rates, "vbr-max");
    QWidget* channels = form.Choice("Kanäle:", m->channelsIndex, Items(LOggEncodeDlg::ChannelTexts()), "channels");
    form.Check("Kommentare entfernen", m->stripComments, "strip");
    form.Refresh([&form, m, quality, min, max, channels] {
      form.Enable(quality, m->QualityEnabled());
      form.Enable(min, m->BitRateRangeEnabled());
      form.Enable(max, m->BitRateRangeEnabled());
      form.Enable(channels, m->ChannelsEnabled());
    });
    return true;
  }
  if (auto* m = dynamic_cast<LFlacEncodeDlg*>(&model)) {
    form.Choice("Kompression:", m->compressionIndex, Items(LFlacEncodeDlg::CompressionTexts()), "compression");
    form.Choice("Kanäle:", m->channelsIndex, Items(LFlacEncodeDlg::ChannelTexts()), "channels");
    form.Text("Samplerate (Hz):", m->sampleRateText, "rate");
    return true;
  }
  if (auto* m = dynamic_cast<LAACEncodeDlg*>(&model)) {
    form.Radios("Durchschnittliche Bitrate", "Qualität", m->averageBitRate, "abr");
    QWidget* rate = form.Text("Bitrate (kbit/s):", m->bitRateText, "bitrate");
    QWidget* quality = form.Text("Qualität:", m->qualityText, "quality");
    form.Check("MPEG-2 AAC", m->forceMpeg2, "mpeg2");
    form.Check("Kein TNS", m->disableTns, "no-tns");
    form.Refresh([&form, m, rate, quality] {
      form.Enable(rate, m->BitRateEnabled());
      form.Enable(quality, m->QualityEnabled());
    });
    return true;
  }
  if (auto* m = dynamic_cast<LAMREncodeDlg*>(&model)) {
    form.Choice("Bitrate (kbit/s):", m->modeIndex, Items(AmrModeTexts()), "mode");
    return true;
  }
  if (auto* m = dynamic_cast<LRawFormatDialog*>(&model)) {
    LRawDlg& raw = m->Fields();
    form.Choice(LRawFormatDialog::kEncodingLabel, raw.encodingIndex, Items(LRawDlg::EncodingTexts()), "encoding");
    form.Text(LRawFormatDialog::kRateLabel, raw.sampleRateText, "rate");
    form.Choice(LRawFormatDialog::kChannelsLabel, raw.channelsIndex, Items(LRawDlg::ChannelTexts()), "channels");
    return true;
  }
  return false;
}

// Fills `form` for the model it knows; false for a model without a form.
bool Build(LForm& form, LDialogModel& model) {
  if (auto* m = dynamic_cast<LWaveFormatDlg*>(&model)) {
    form.Custom("", MakeWaveFormatFields(&form, *m));
    return true;
  }
  if (BuildSaveOptions(form, model)) return true;
  if (auto* m = dynamic_cast<LSilenceDialog*>(&model)) {
    form.Text(LSilenceDialog::kLengthLabel, m->lengthText, "length");
    return true;
  }
  if (auto* m = dynamic_cast<LRepeatDialog*>(&model)) {
    form.Text(LRepeatDialog::kCountLabel, m->countText, "count");
    return true;
  }
  if (auto* m = dynamic_cast<LRangeDialog*>(&model)) {
    // The two time fields; every change moves the selection at once.
    auto start = std::make_shared<std::string>(m->StartText());
    auto end = std::make_shared<std::string>(m->EndText());
    form.Text(LRangeDialog::kStartLabel, *start, "start");
    form.Text(LRangeDialog::kEndLabel, *end, "end");
    form.OnEdit([m, start, end] {
      if (*start != m->StartText()) m->SetStartText(*start);
      if (*end != m->EndText()) m->SetEndText(*end);
    });
    form.Button(LRangeDialog::kPreviewButton, [m] { m->Preview(); });
    form.Keep(start);
    form.Keep(end);
    return true;
  }
  if (auto* m = dynamic_cast<LNewFileDialog*>(&model)) {
    QStringList rates;
    for (int32_t rate : LNewFileDialog::CommonRates()) rates << QString::number(rate);
    auto* box = new QComboBox(&form);
    box->setObjectName("rate");
    box->setEditable(true);
    box->addItems(rates);
    form.Custom("Samplerate (Hz):", box);
    box->setCurrentText(QString::number(m->sampleRate));
    QObject::connect(box, &QComboBox::currentTextChanged, &form,
                     [m](const QString& text) { m->sampleRate = FieldToInt(S(text)); });
    auto* channels = new QComboBox(&form);
    channels->setObjectName("channels");
    channels->addItems({"Mono", "Stereo"});
    channels->setCurrentIndex(m->channels == 2 ? 1 : 0);
    QObject::connect(channels, &QComboBox::currentIndexChanged, &form, [m](int index) { m->channels = index + 1; });
    form.Custom("Kanäle:", channels);
    return true;
  }
  if (auto* m = dynamic_cast<LSampleRateDialog*>(&model)) {
    form.Number("Neue Samplerate (Hz):", m->sampleRate, "rate");
    return true;
  }
  if (auto* m = dynamic_cast<LAmplifyDialog*>(&model)) {
    form.Presets(LAmplifyDialog::kPresets, [m](int i) { m->ChoosePreset(i); });
    form.Number("Verstärkung (%):", m->gainPercent, "gain");
    PreviewOf(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LNormalizeDialog*>(&model)) {
    form.Presets(LNormalizeDialog::kPresets, [m](int i) { m->ChoosePreset(i); });
    form.Number("Maximaler Pegel (%):", m->levelPercent, "level");
    PreviewOf(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LStereoPanDialog*>(&model)) {
    form.Slider("Links  ...  Rechts:", LStereoPanDialog::kMin, LStereoPanDialog::kMax, [m] { return m->Value(); },
                [m](int v) { m->SetValue(v); }, "pan", "");
    PreviewOf(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LEchoDialog*>(&model)) {
    form.Presets(LEchoDialog::kPresets, [m](int i) { m->ChoosePreset(i); });
    form.Number("Verzögerung (ms):", m->timeMs, "time");
    form.Number("Echo Lautstärke (%):", m->gainPercent, "gain");
    PreviewOf(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LReverbDialog*>(&model)) {
    form.Presets(LReverbDialog::kPresets, [m](int i) { m->ChoosePreset(i); });
    form.Number("Hall Level (%):", m->levelPercent, "level");
    form.Number("Verzögerung (ms):", m->timeMs, "time");
    PreviewOf(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LPhaserDialog*>(&model)) {
    form.Presets(LPhaserDialog::kPresets, [m](int i) { m->ChoosePreset(i); });
    form.Number("Verzögerungszeit (ms):", m->timeMs, "time");
    form.Number("Steigerung (%):", m->gainPercent, "gain");
    PreviewOf(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LFlangerDialog*>(&model)) {
    Modulation(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LChorusDialog*>(&model)) {
    Modulation(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LDistortionDialog*>(&model)) {
    form.Presets(LDistortionDialog::kPresets, [m](int i) { m->ChoosePreset(i); });
    form.Text("Verzerrungsgrad (0.0 - 1.0):", m->degree, "degree");
    form.Slider("Ausgangspegel:", LDistortionDialog::kLevelMin, LDistortionDialog::kLevelMax,
                [m] { return m->Level(); }, [m](int v) { m->SetLevel(v); }, "level", " dB");
    PreviewOf(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LCompressorDialog*>(&model)) {
    form.Presets(LCompressorDialog::kPresets, [m](int i) { m->ChoosePreset(i); });
    form.Slider("Schwellwert:", LCompressorDialog::kThresholdMin, LCompressorDialog::kThresholdMax,
                [m] { return m->threshold; }, [m](int v) { m->threshold = v; }, "threshold", " dB");
    QStringList ratios;
    for (const std::string& label : LCompressorDialog::RatioLabels()) ratios << Q(label);
    form.Choice("Verhältnis:", m->ratioIndex, ratios, "ratio");
    form.Slider("Limit:", LCompressorDialog::kLimitMin, LCompressorDialog::kLimitMax, [m] { return m->limit; },
                [m](int v) { m->limit = v; }, "limit", " dB");
    PreviewOf(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LSpeedPitchDialog*>(&model)) {
    form.Number((m->Label()).c_str(), m->percent, "percent");
    PreviewOf(form, *m);
    return true;
  }
  if (auto* m = dynamic_cast<LEnvelopeDialog*>(&model)) {
    auto* editor = new LEnvelopeEditor(*m, &form);
    form.Custom("", editor);
    form.Custom("", new QLabel("Klicken: Punkt setzen, ziehen: verschieben, rechte Maustaste: entfernen", &form));
    PreviewOf(form, *m);
    return true;
  }
  return false;
}

}  // namespace

bool RunModelDialog(QWidget* parent, LDialogModel& model, LPreviewPlayer* preview) {
  if (auto* record = dynamic_cast<LRecordDialog*>(&model)) return RunRecordForm(parent, *record);
  LForm form(parent, model, preview);
  if (!Build(form, model)) {
    // A model without a form of its own: its title and the two buttons.
    form.Custom("", new QLabel(Q(model.Title()), &form));
  }
  return form.Run();
}

}  // namespace klangor
