#include "ui/editor.h"

#include <unistd.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/document_journal.h"
#include "app/file_commands.h"
#include "app/single_instance.h"
#include "app/working_folder.h"
#include "audio/time_units.h"
#include "settings/settings_store.h"
#include "store/block_store.h"
#include "ui/main_window.h"
#include "ui/screenshot_tour.h"
#include "ui/startup_window.h"

namespace klangor {
namespace {

bool HaveDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
}

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  return ::getcwd(buffer.data(), buffer.size()) != nullptr ? std::string(buffer.data()) : std::string("/");
}

// Offers the unsaved documents of a crashed run; restores them or lets them go.
void OfferRecovery(LMainWindow& window, LDocumentJournal& journal, const std::string& workingFolder) {
  const std::vector<LRecoverableDocument> found = FindRecoverableDocuments(workingFolder);
  if (found.empty()) {
    DiscardRecovery(workingFolder);
    return;
  }
  std::string list;
  for (const LRecoverableDocument& document : found) {
    const int64_t ms = FramesToMs(document.lengthFrames, document.sampleRate);
    list += "\n  " + document.name + "  (" + std::to_string(ms / 60000) + ":" +
            (ms / 1000 % 60 < 10 ? "0" : "") + std::to_string(ms / 1000 % 60) + ")";
  }
  const LAnswer answer = window.Ui().Message(
      "Klangor wurde beim letzten Mal nicht richtig beendet. Diese Dateien hatten ungespeicherte "
      "Änderungen:\n" + list + "\n\nSollen sie wiederhergestellt werden?",
      "Wiederherstellen", LButtons::kYesNo, LIcon::kQuestion);
  if (answer == LAnswer::kYes) {
    for (const LRecoverableDocument& document : found) {
      if (LRef<LSoundDocument> restored = RestoreJournal(document.journal)) window.Frame().OpenDocument(restored);
    }
    window.ArrangeWindows();
    window.RefreshBars();
    // Journaled again here before the old ones go, so a second crash loses nothing either.
    journal.Update(window.Frame().Documents());
  }
  DiscardRecovery(workingFolder);
}

}  // namespace

int RunEditor(int argc, char** argv) {
  const auto started = std::chrono::steady_clock::now();
  std::vector<std::string> arguments(argv, argv + argc);
  arguments = AbsoluteArguments(std::move(arguments), CurrentFolder());

  // A later start hands its command line over and ends, before it needs a display.
  LSingleInstance instance;
  switch (instance.Start(arguments)) {
    case LSingleInstance::LRole::kForwarded: return 0;
    case LSingleInstance::LRole::kNoAnswer:
      std::cerr << "klangor: Klangor is running but does not answer; the files were not passed to it.\n";
      return 1;
    case LSingleInstance::LRole::kInstance: break;
  }
  if (!instance.Problem().empty()) std::cerr << "klangor: " << instance.Problem() << "\n";

  if (!HaveDisplay()) {
    std::cerr << "klangor: no display (neither DISPLAY nor WAYLAND_DISPLAY is set). The editor needs a\n"
                 "graphical desktop; klangor-batch works in a terminal.\n";
    return 3;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Klangor");
  QApplication::setOrganizationName("Tessaly Audio");
  QApplication::setApplicationVersion("0.1");
  QApplication::setQuitOnLastWindowClosed(true);
  // The program speaks German whatever the locale: Qt's own texts too (file dialogs, the edit
  // fields' context menus), from Debian's qt6-translations-l10n.
  QTranslator qtTexts;
  if (qtTexts.load("qtbase_de", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) app.installTranslator(&qtTexts);

  LSettingsStore& settings = Settings();
  const std::string workingFolder = ChooseWorkingFolder(settings);
  // Unsaved work of a crashed run is moved aside before the store clears old folders.
  SecureCrashedWork(workingFolder);
  PrepareWorkingFolder(settings);

  int status = 0;
  {
    LDocumentJournal journal(LBlockStore::Instance().BlockFolder());
    LMainWindow window(settings, &journal);
    window.ShowPlaced();
    window.ListenForStarts(instance);
    OfferRecovery(window, journal, workingFolder);
    const bool startup = ProcessCommandLine(arguments, window);
    instance.ReleaseStartLock();
    if (startup && std::getenv("KLANGOR_NO_STARTUP_WINDOW") == nullptr) (new LStartupWindow)->ShowFor(1500);
    // For measuring the start: report when the window is on the screen, then end.
    if (std::getenv("KLANGOR_QUIT_WHEN_SHOWN") != nullptr) {
      QTimer::singleShot(0, &app, [&app, started] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        std::cerr << "klangor: main window shown after " << ms.count() << " ms\n";
        app.quit();
      });
    }
    if (const char* folder = std::getenv("KLANGOR_SCREENSHOTS")) StartScreenshotTour(window, folder);
    status = app.exec();
    instance.Close();
  }
  LBlockStore::Instance().CleanUp();
  return status;
}

}  // namespace klangor
