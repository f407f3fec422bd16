#include "ui/record_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>

#include "device/system_mixer.h"
#include "frame/time_text.h"
#include "recorder/record_dialog.h"
#include "settings/settings_keys.h"
#include "ui/bars.h"
#include "ui/qt_text.h"

namespace klangor {
namespace {

QComboBox* Choice(QWidget* parent, const std::vector<std::string>& names, int selected, const char* name) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  for (const std::string& item : names) box->addItem(Q(item));
  box->setCurrentIndex(std::clamp(selected, 0, std::max(box->count() - 1, 0)));
  return box;
}

QSpinBox* Db(QWidget* parent, int value, const char* name) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setRange(-36, 12);
  box->setSuffix(" dB");
  box->setValue(value);
  return box;
}

void RunAdvanced(QWidget* parent, LSettingsStore& settings) {
  QDialog dialog(parent);
  dialog.setObjectName("LRecordDlgAdvanced");
  dialog.setWindowTitle(kAdvancedRecordTitle);
  auto* layout = new QFormLayout(&dialog);
  auto* autostart = new QCheckBox("Aufnahme Autostart", &dialog);
  auto* autotrim = new QCheckBox("Automatisches Aufnahmeende", &dialog);
  auto* vor = new QCheckBox("Sprachaktivierung", &dialog);
  auto* threshold = new QSpinBox(&dialog);
  threshold->setRange(-127, 127);
  threshold->setSuffix(" dB");
  autostart->setChecked(settings.Read(kRecorderAutostart));
  autotrim->setChecked(settings.Read(kRecorderAutotrim));
  vor->setChecked(settings.Read(kRecorderVor));
  threshold->setValue(settings.Read(kRecorderThreshold));
  layout->addRow(autostart);
  layout->addRow(autotrim);
  layout->addRow(vor);
  layout->addRow("Schwellenwert", threshold);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return;
  settings.Write(kRecorderAutostart, autostart->isChecked());
  settings.Write(kRecorderAutotrim, autotrim->isChecked());
  settings.Write(kRecorderVor, vor->isChecked());
  settings.Write(kRecorderThreshold, threshold->value());
}

}  // namespace

bool RunRecordForm(QWidget* parent, LRecordDialog& model) {
  QDialog dialog(parent);
  dialog.setObjectName("LRecordDlg");
  dialog.setWindowTitle(Q(model.Title()));
  auto* outer = new QVBoxLayout(&dialog);

  auto* fields = new QFormLayout;
  auto* name = new QLineEdit(Q(model.name), &dialog);
  name->setObjectName("name");
  fields->addRow("&Name:", name);
  outer->addLayout(fields);

  auto* playback = new QGroupBox("Wiedergabe", &dialog);
  auto* playbackFields = new QFormLayout(playback);
  QComboBox* playDevice = Choice(playback, model.PlaybackDeviceNames(), model.playbackDevice, "playDevice");
  QSpinBox* playVolume = Db(playback, model.playbackVolumeDb, "playVolume");
  playbackFields->addRow("&Gerät:", playDevice);
  playbackFields->addRow("&Lautstärke:", playVolume);
  outer->addWidget(playback);

  auto* recording = new QGroupBox("Aufnahme", &dialog);
  auto* recordFields = new QFormLayout(recording);
  QComboBox* recordDevice = Choice(recording, model.RecordDeviceNames(), model.recordDevice, "recordDevice");
  QComboBox* input = Choice(recording, model.InputNames(), model.input + 1, "input");
  QSpinBox* recordVolume = Db(recording, model.recordVolumeDb, "recordVolume");
  recordFields->addRow("Ger&ät:", recordDevice);
  recordFields->addRow("&Eingang", input);
  recordFields->addRow("Laut&stärke:", recordVolume);
  auto* mixerRow = new QHBoxLayout;
  const std::optional<LSystemMixer> systemMixer = FindSystemMixer(true);
  auto* openMixer = new QPushButton(Q(systemMixer ? systemMixer->buttonText : "Mischpult öffnen"), recording);
  auto* advanced = new QPushButton(kAdvancedRecordTitle, recording);
  mixerRow->addWidget(openMixer);
  mixerRow->addWidget(advanced);
  recordFields->addRow(mixerRow);
  outer->addWidget(recording);

  auto* takes = new QListWidget(&dialog);
  takes->setObjectName("takes");
  takes->setMinimumHeight(90);
  outer->addWidget(takes);
  auto* meter = new LLevelMeter(&dialog);
  auto* time = new QLabel(&dialog);
  time->setObjectName("time");
  auto* message = new QLabel(&dialog);
  message->setObjectName("message");
  message->setWordWrap(true);
  auto* status = new QHBoxLayout;
  status->addWidget(meter, 1);
  status->addWidget(time);
  outer->addLayout(status);
  outer->addWidget(message);

  // The form writes its fields into the model before every operation.
  auto store = [&] {
    model.name = name->text().toStdString();
    model.playbackDevice = playDevice->currentIndex();
    model.playbackVolumeDb = playVolume->value();
    model.recordDevice = recordDevice->currentIndex();
    model.input = input->currentIndex() - 1;
    model.recordVolumeDb = recordVolume->value();
  };
  struct LButton {
    const char* text;
    QKeySequence key;
    std::function<void()> run;
  };
  const std::vector<LButton> transport = {
      {"Neue Aufnahme (F5)", QKeySequence(Qt::Key_F5), [&] { model.NewTake(); }},
      {"Neustart (F6)", QKeySequence(Qt::Key_F6), [&] { model.Restart(); }},
      {"Neuaufnahme (F7)", QKeySequence(Qt::Key_F7), [&] { model.Retake(); }},
      {"Aufnahme (F8)", QKeySequence(Qt::Key_F8), [&] { model.Record(); }},
      {"Zum Anfang (Home)", QKeySequence(Qt::Key_Home), [&] { model.ToStart(); }},
      {"Vorspulen (->)", QKeySequence(Qt::Key_Right), [&] { model.Forward(); }},
      {"Zum Ende (End)", QKeySequence(Qt::Key_End), [&] { model.ToEnd(); }},
  };
  auto* row = new QHBoxLayout;
  for (const LButton& button : transport) {
    auto* push = new QPushButton(button.text, &dialog);
    push->setAutoDefault(false);
    auto run = [&store, action = button.run] {
      store();
      action();
    };
    QObject::connect(push, &QPushButton::clicked, &dialog, run);
    auto* shortcut = new QShortcut(button.key, &dialog);
    QObject::connect(shortcut, &QShortcut::activated, &dialog, run);
    row->addWidget(push);
  }
  outer->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  outer->addWidget(buttons);

  auto show = [&] {
    if (name->text().toStdString() != model.name && !name->hasFocus()) name->setText(Q(model.name));
    takes->clear();
    for (const LTakeEntry& take : model.Takes()) {
      takes->addItem(Q(take.name + "  " + FormatTimeText(take.frames * 1000 / std::max(model.SampleRate(), 1))));
    }
    if (model.current >= 0) takes->setCurrentRow(model.current);
    const LLevelRecord& levels = model.Levels();
    auto bar = [](int db) { return (std::clamp(db, -36, 12) + 36) * 100 / 48; };
    const int left = levels.channels > 0 ? levels.levels[0] : -127;
    const int right = levels.channels > 1 ? levels.levels[1] : left;
    const bool running = model.State() != LRecorderState::kIdle;
    meter->SetLevels(running ? bar(left) : 0, running ? bar(right) : 0);
    const char* state = model.State() == LRecorderState::kRecording ? "Aufnahme"
                        : model.State() == LRecorderState::kWaiting ? "Warten auf Signal"
                        : model.Listening()                         ? "Wiedergabe"
                                                                    : "Bereit";
    time->setText(Q(FormatTimeText(model.TakeMs()) + "  " + state));
    message->setText(Q(model.Message()));
  };
  model.changed = show;
  for (QComboBox* box : {playDevice, recordDevice, input}) {
    QObject::connect(box, &QComboBox::currentIndexChanged, &dialog, [&] {
      store();
      model.ApplyInput();
    });
  }
  QObject::connect(recordDevice, &QComboBox::currentIndexChanged, &dialog, [&] {
    input->clear();
    for (const std::string& item : model.InputNames()) input->addItem(Q(item));
  });
  QObject::connect(recordVolume, &QSpinBox::valueChanged, &dialog, [&] {
    store();
    model.ApplyInput();
  });
  QObject::connect(playVolume, &QSpinBox::valueChanged, &dialog, [&] {
    store();
    model.ApplyPlaybackVolume();
  });
  QObject::connect(name, &QLineEdit::textEdited, &dialog, store);
  QObject::connect(takes, &QListWidget::currentRowChanged, &dialog, [&](int chosen) {
    if (chosen >= 0 && static_cast<size_t>(chosen) < model.Takes().size()) model.current = chosen;
  });
  QObject::connect(openMixer, &QPushButton::clicked, &dialog, [&] {
    std::string why;
    if (!OpenSystemMixer(true, &why)) QMessageBox::warning(&dialog, "Klangor", Q(why));
  });
  QObject::connect(advanced, &QPushButton::clicked, &dialog, [&] { RunAdvanced(&dialog, model.Settings()); });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    store();
    const std::string problem = model.Validate();
    if (problem.empty()) {
      dialog.accept();
    } else {
      QMessageBox::warning(&dialog, "Klangor", Q(problem));
    }
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

  show();
  store();
  model.Opened();
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  model.changed = nullptr;
  model.StopAll();
  return confirmed;
}

}  // namespace klangor
