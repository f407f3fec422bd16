#include "ui/qt_user_interface.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "platform/paths.h"
#include "ui/dialog_forms.h"
#include "ui/progress_window.h"
#include "ui/qt_text.h"

namespace klangor {
namespace {

// "Name (*.a *.b)": Qt takes the patterns from the last parentheses; the dialog hides them
// (HideNameFilterDetails), so the list shows the name exactly.
QStringList NameFilters(const std::vector<LFileFilter>& filters) {
  QStringList list;
  for (const LFileFilter& filter : filters) {
    QString patterns = Q(filter.patterns);
    patterns.replace(';', ' ');
    list << Q(filter.name) + " (" + patterns + ")";
  }
  return list;
}

void Prepare(QFileDialog& dialog, const std::string& title, const std::string& folder,
             const std::string& defaultExtension) {
  dialog.setWindowTitle(Q(title));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (!folder.empty() && IsFolder(folder)) dialog.setDirectory(Q(folder));
  if (!defaultExtension.empty()) dialog.setDefaultSuffix(Q(defaultExtension));
  dialog.setLabelText(QFileDialog::LookIn, "Suchen in:");
  dialog.setLabelText(QFileDialog::FileName, "Dateiname:");
  dialog.setLabelText(QFileDialog::FileType, "Dateityp:");
  dialog.setLabelText(QFileDialog::Reject, "Abbrechen");
  dialog.resize(820, 520);
}

}  // namespace

void OnUiThread(const std::function<void()>& call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(app, call, Qt::BlockingQueuedConnection);
}

LAnswer LQtUserInterface::Message(const std::string& text, const std::string& caption, LButtons buttons,
                                  LIcon icon) {
  LAnswer answer = LAnswer::kCancel;
  OnUiThread([&] {
    QMessageBox box(owner_);
    box.setWindowTitle(Q(caption.empty() ? std::string("Klangor") : caption));
    box.setText(Q(text));
    switch (icon) {
      case LIcon::kNone: box.setIcon(QMessageBox::NoIcon); break;
      case LIcon::kInformation: box.setIcon(QMessageBox::Information); break;
      case LIcon::kWarning: box.setIcon(QMessageBox::Warning); break;
      case LIcon::kError: box.setIcon(QMessageBox::Critical); break;
      case LIcon::kQuestion: box.setIcon(QMessageBox::Question); break;
    }
    std::vector<std::pair<QPushButton*, LAnswer>> choices;
    auto add = [&](const char* label, QMessageBox::ButtonRole role, LAnswer meaning) {
      choices.emplace_back(box.addButton(QString::fromUtf8(label), role), meaning);
    };
    switch (buttons) {
      case LButtons::kOk: add("OK", QMessageBox::AcceptRole, LAnswer::kOk); break;
      case LButtons::kOkCancel:
        add("OK", QMessageBox::AcceptRole, LAnswer::kOk);
        add("Abbrechen", QMessageBox::RejectRole, LAnswer::kCancel);
        break;
      case LButtons::kYesNo:
        add("Ja", QMessageBox::YesRole, LAnswer::kYes);
        add("Nein", QMessageBox::NoRole, LAnswer::kNo);
        break;
      case LButtons::kYesNoCancel:
        add("Ja", QMessageBox::YesRole, LAnswer::kYes);
        add("Nein", QMessageBox::NoRole, LAnswer::kNo);
        add("Abbrechen", QMessageBox::RejectRole, LAnswer::kCancel);
        break;
      case LButtons::kRetryCancel:
        add("Wiederholen", QMessageBox::AcceptRole, LAnswer::kRetry);
        add("Abbrechen", QMessageBox::RejectRole, LAnswer::kCancel);
        break;
    }
    box.setDefaultButton(choices.front().first);
    // Closing the box counts as its last button (Cancel, No, or OK when that is the only one).
    box.setEscapeButton(choices.back().first);
    box.exec();
    answer = choices.back().second;
    for (const auto& [button, meaning] : choices) {
      if (box.clickedButton() == button) answer = meaning;
    }
  });
  return answer;
}

std::optional<std::string> LQtUserInterface::PromptText(const std::string& caption, const std::string& label,
                                                        const std::string& initial) {
  std::optional<std::string> answer;
  OnUiThread([&] {
    QInputDialog dialog(owner_);
    dialog.setWindowTitle(Q(caption));
    dialog.setLabelText(Q(label));
    dialog.setTextValue(Q(initial));
    dialog.setOkButtonText("OK");
    dialog.setCancelButtonText("Abbrechen");
    if (dialog.exec() == QDialog::Accepted) answer = S(dialog.textValue());
  });
  return answer;
}

bool LQtUserInterface::RunDialog(LDialogModel& model) {
  bool confirmed = false;
  OnUiThread([&] { confirmed = RunModelDialog(owner_, model, preview_); });
  return confirmed;
}

std::optional<std::string> LQtUserInterface::ChooseSaveFile(const LSaveFileRequest& request) {
  std::optional<std::string> answer;
  OnUiThread([&] {
    QFileDialog dialog(owner_);
    Prepare(dialog, request.title, request.folder, request.defaultExtension);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The caller asks before replacing a file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setLabelText(QFileDialog::Accept, "Speichern");
    const QStringList filters =
        request.filters.empty() ? QStringList{Q(request.filter)} : NameFilters(request.filters);
    dialog.setNameFilters(filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < filters.size()) {
      dialog.selectNameFilter(filters[request.selectedFilter]);
    }
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      answer = S(dialog.selectedFiles().front());
    }
  });
  return answer;
}

std::vector<std::string> LQtUserInterface::ChooseOpenFiles(const LOpenFileRequest& request) {
  std::vector<std::string> files;
  OnUiThread([&] {
    QFileDialog dialog(owner_);
    Prepare(dialog, request.title, request.folder, request.defaultExtension);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept, "Öffnen");
    dialog.setNameFilters(NameFilters(request.filters));
    if (dialog.exec() == QDialog::Accepted) {
      for (const QString& file : dialog.selectedFiles()) files.push_back(S(file));
    }
  });
  return files;
}

int64_t LQtUserInterface::FreeBytes(const std::string& folder) { return FreeBytesAvailable(folder); }

LResult LQtUserInterface::RunWithProgress(const std::string& title,
                                          const std::function<LResult(LProgress&)>& work) {
  LResult result = LResult::kFailed;
  // A nested run (a worker asking for one) runs right there on the worker.
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
    LSilentProgress progress;
    return work(progress);
  }
  result = RunWithProgressWindow(owner_, title, work);
  return result;
}

}  // namespace klangor
