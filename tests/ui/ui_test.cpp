// The editor's real widgets on the offscreen platform: the menus with their exact texts, the
// commands from menus and keys, a dialog that validates with its model's message, the progress
// window's cancel, calls from worker threads, forwarded command lines and dropped files.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <set>
#include <thread>

#include "app/key_file.h"
#include "app/single_instance.h"
#include "effects/echo.h"
#include "frame/menu_layout.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "support/test_env.h"
#include "ui/qt_test_app.h"
#include "ui/bars.h"
#include "ui/dialog_forms.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"

// Fontconfig keeps a cache for the life of the process; the sanitizer build must not count it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace klangor {
namespace {

using test::App;
using test::WaitFor;

// Answers the modal windows as they come up: each step gets the modal window and says whether
// it was the one it waits for (then it is done). A window a step is busy with (its message box
// is up) is not handed to the next step.
class LModalScript : public QObject {
 public:
  using LStep = std::function<bool(QWidget*)>;
  explicit LModalScript(std::deque<LStep> steps) : steps_(std::move(steps)) {
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start(10);
  }
  bool Done() const { return steps_.empty(); }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || steps_.empty() || busy_.count(modal) != 0) return;
    // Taken off first: while it runs (its click may open a message box) the next step answers.
    LStep step = std::move(steps_.front());
    steps_.pop_front();
    busy_.insert(modal);
    // Run from a fresh event (a timer does not fire again while its own slot runs).
    QTimer::singleShot(0, this, [this, step = std::move(step), guard = QPointer<QWidget>(modal), modal]() mutable {
      const bool done = guard != nullptr && step(modal);
      busy_.erase(modal);
      if (!done) steps_.push_front(std::move(step));
    });
  }
  std::deque<LStep> steps_;
  std::set<QWidget*> busy_;
  QTimer timer_;
};

QPushButton* ButtonNamed(QWidget* window, const QString& text) {
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    if (button->text() == text) return button;
  }
  return nullptr;
}

// A message box: its text is recorded and `button` pressed.
LModalScript::LStep Answer(std::vector<QString>* texts, const QString& button) {
  return [texts, button](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return false;
    if (texts != nullptr) texts->push_back(box->text());
    if (QPushButton* b = ButtonNamed(box, button)) b->click();
    return true;
  };
}


class UiTest : public ::testing::Test {
 protected:
  UiTest() : settings_(test::TempPath(".ini"), test::TempPath(".ini")) {
    App();
    settings_.Write(kPlayWhenOpen, false);
  }
  std::string MakeWave(double seconds = 0.5) {
    const std::string path = test::TempPath(".wav");
    test::RunTool({"sox", "-V1", "-n", "-b", "16", "-c", "2", "-r", "8000", path, "synth", std::to_string(seconds),
                   "sine", "440"});
    return path;
  }
  LSettingsStore settings_;
};

TEST_F(UiTest, MenusHaveEveryEntryWithItsTextAndTheMissingOnesDisabled) {
  LMainWindow window(settings_, nullptr);
  EXPECT_EQ(window.objectName(), "LMMWC");
  EXPECT_EQ(window.windowTitle(), "Klangor");
  const std::pair<int, const char*> texts[] = {
      {1001, "&Neu...\tCtrl+N"},  {1002, "&Öffnen...\tCtrl+O"},    {1003, "Schliessen"},
      {1004, "&Speichern\tCtrl+S"}, {1005, "Speichern &Als..."}, {1048, "&Schließen"},
      {2006, "&Löschen\tDelete"},   {2014, "Stille im ausgewähltem Bereich"},
      {2032, "Markierung wiederrufen"}, {2022, "Anfang markieren\tShift+Home"},
      {4110, "Echo..."}, {6000, "&Hilfethemen\tF1"}, {9001, "Kommandozeile anzeigen\tCtrl+Shift+A"},
      {5001, "Vergrößern\tCtrl+Plus"},
  };
  for (const auto& [id, text] : texts) {
    ASSERT_NE(window.Action(id), nullptr) << id;
    EXPECT_EQ(window.Action(id)->text(), QString::fromUtf8(text)) << id;
  }
  for (const LMenuEntry* entry : MenuCommands()) {
    QAction* action = window.Action(entry->id);
    ASSERT_NE(action, nullptr) << entry->text;
    if (window.Commands().Find(entry->id) == nullptr) {
      EXPECT_FALSE(action->isEnabled()) << entry->text;
      EXPECT_EQ(action->toolTip(), QString::fromUtf8(kNotAvailableTip)) << entry->text;
    }
  }
  // Commands that exist are enabled (undo and redo wait for something to undo).
  EXPECT_TRUE(window.Action(4110)->isEnabled());
  EXPECT_TRUE(window.Action(1001)->isEnabled());
  EXPECT_FALSE(window.Action(2001)->isEnabled());
}

TEST_F(UiTest, MenuCommandsAndKeysRunOnTheActiveDocument) {
  LMainWindow window(settings_, nullptr);
  window.show();
  const std::string file = MakeWave();
  window.OpenFiles({file});
  ASSERT_EQ(window.Frame().Documents().size(), 1u);
  EXPECT_EQ(window.windowTitle(), "Klangor - " + QString::fromStdString(FileNameOf(file)));
  LSoundDocument& document = *window.Frame().ActiveDocument();
  ASSERT_NE(window.ViewOf(document), nullptr);

  QTest::keyClick(&window, Qt::Key_A, Qt::ControlModifier);  // "Alles markieren"
  EXPECT_EQ(document.selectionStart, 0);
  EXPECT_EQ(document.selectionEnd, 4000);
  window.Action(4018)->trigger();  // "Umkehren", under the progress window
  EXPECT_TRUE(document.modified);
  EXPECT_EQ(window.Action(2001)->text(), "Rückgängig Umkehren\tCtrl+Z");
  EXPECT_TRUE(window.Action(2001)->isEnabled());
  EXPECT_TRUE(window.windowTitle().startsWith("Klangor - "));
  QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_FALSE(document.modified);
  EXPECT_EQ(window.Action(2033)->text(), "Wiederholen Umkehren\tCtrl+Y");
  // The time fields show the selection.
  auto* length = window.findChild<QLineEdit*>("selectionLength");
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length->text(), "0:00:00.500");
}

TEST_F(UiTest, AnEffectDialogKeepsItsFieldsUntilTheyValidate) {
  LMainWindow window(settings_, nullptr);
  window.show();
  window.OpenFiles({MakeWave()});
  LSoundDocument& document = *window.Frame().ActiveDocument();
  std::vector<QString> messages;
  auto typeTime = [](const char* value) {
    return [value](QWidget* modal) {
      auto* time = modal->findChild<QLineEdit*>("time");
      if (time == nullptr) return false;
      EXPECT_EQ(modal->windowTitle(), "Echo");
      // The presets list starts with its prompt.
      auto* presets = modal->findChild<QComboBox*>(kPresetsName);
      EXPECT_TRUE(presets != nullptr && presets->itemText(0) == "Voreinstellungen Wählen");
      time->setText(value);
      ButtonNamed(modal, "OK")->click();
      return true;
    };
  };
  LModalScript answers({typeTime("5"), Answer(&messages, "OK"), typeTime("800")});
  window.Action(4110)->trigger();
  EXPECT_TRUE(answers.Done());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], QString::fromUtf8(LEchoDialog::kTimeMessage));
  EXPECT_TRUE(document.modified);
  EXPECT_EQ(settings_.Read(kEchoTime), 800);
  EXPECT_EQ(window.Action(2001)->text(), "Rückgängig Echo\tCtrl+Z");
}

TEST_F(UiTest, TheProgressWindowCancelsAtOnceAndKeepsPainting) {
  LMainWindow window(settings_, nullptr);
  window.show();
  std::chrono::steady_clock::time_point pressed;
  LModalScript script({[&](QWidget* modal) {
    if (modal->objectName() != kProgressWindowName) return false;
    EXPECT_EQ(modal->findChild<QLabel*>("title")->text(), "Langsame Arbeit");
    pressed = std::chrono::steady_clock::now();
    ButtonNamed(modal, "Abbrechen")->click();
    return true;
  }});
  int questions = 0;
  const LResult result = RunWithProgressWindow(&window, "Langsame Arbeit", [&](LProgress& progress) {
    for (int i = 0; i < 30000; ++i) {
      ++questions;
      if (progress.Cancelled()) return LResult::kCancelled;
      progress.SetProgress(i, 30000);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return LResult::kDone;
  });
  const auto answered = std::chrono::steady_clock::now() - pressed;
  EXPECT_EQ(result, LResult::kCancelled);
  EXPECT_TRUE(script.Done());
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(answered).count(), 500);
  EXPECT_GT(questions, 100);
}

TEST_F(UiTest, AWorkersMessageIsShownOnTheUiThread) {
  LMainWindow window(settings_, nullptr);
  std::vector<QString> messages;
  LModalScript script({Answer(&messages, "Nein")});
  LAnswer answer = LAnswer::kOk;
  const LResult result = window.Ui().RunWithProgress("Decoder", [&](LProgress&) {
    answer = window.Ui().Message("Weiter?", "Fehler", LButtons::kYesNo, LIcon::kWarning);
    return LResult::kDone;
  });
  EXPECT_EQ(result, LResult::kDone);
  EXPECT_EQ(answer, LAnswer::kNo);
  EXPECT_EQ(messages, (std::vector<QString>{"Weiter?"}));
}

TEST_F(UiTest, ClosingWithUnsavedWorkAsksAndCancelKeepsEverything) {
  auto window = std::make_unique<LMainWindow>(settings_, nullptr);
  window->show();
  window->OpenFiles({MakeWave()});
  window->Frame().ActiveDocument()->modified = true;
  std::vector<QString> messages;
  LModalScript script({Answer(&messages, "Abbrechen")});
  window->close();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->Frame().Documents().size(), 1u);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].startsWith("Speichere Änderungen in \""));
  LModalScript discard({Answer(&messages, "Nein")});
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->Frame().Documents().empty());
}

// What a drop of files runs (a drop itself cannot be made without a drag in progress).
TEST_F(UiTest, FivehundredDroppedFilesGiveOneMessage) {
  LMainWindow window(settings_, nullptr);
  window.show();
  std::vector<std::string> files;
  for (int i = 0; i < 499; ++i) {
    files.push_back(test::TempPath(".wav"));
    test::WriteBytes(files.back(), "RIFF" + std::to_string(i));
  }
  files.push_back(MakeWave());
  std::vector<QString> messages;
  LModalScript script({Answer(&messages, "OK")});
  window.OpenFiles(files);
  EXPECT_EQ(window.Frame().Documents().size(), 1u);
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_FALSE(window.Busy());
}

TEST_F(UiTest, ALaterStartsFilesOpenInTheRunningWindow) {
  LMainWindow window(settings_, nullptr);
  window.show();
  const std::string folder = test::TempPath("-instance");
  LSingleInstance instance(folder);
  ASSERT_EQ(instance.Start({"klangor"}), LSingleInstance::LRole::kInstance);
  instance.ReleaseStartLock();
  window.ListenForStarts(instance);
  const std::string file = MakeWave();
  LSingleInstance::LRole role = LSingleInstance::LRole::kInstance;
  std::thread later([&] { role = LSingleInstance(folder).Start({"klangor", file}); });
  ASSERT_TRUE(WaitFor([&] { return window.Frame().Documents().size() == 1; }));
  later.join();
  EXPECT_EQ(role, LSingleInstance::LRole::kForwarded);
  EXPECT_EQ(window.Frame().ActiveDocument()->fileName, file);
}

TEST_F(UiTest, ADamagedKeyFileIsReportedAndTheBuiltInKeysApply) {
  test::WriteBytes(KeyFilePath(), std::string("\x07garbage", 8));
  std::vector<QString> messages;
  LModalScript script({[&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return false;
    messages.push_back(box->windowTitle() + ": " + box->text());
    box->accept();
    return true;
  }});
  LMainWindow window(settings_, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !messages.empty(); }));
  EXPECT_EQ(messages[0], QString::fromUtf8(kKeyFileErrorTitle) + ": " + QString::fromUtf8(kKeyFileVersionMessage));
  RemoveFile(KeyFilePath());
}

TEST_F(UiTest, TheDbSliderAndTheTimeFieldsShowTheirTexts) {
  EXPECT_EQ(LDbSlider::Text(-3), "-3dB");
  EXPECT_EQ(LDbSlider::Text(-127), "--dB");
  EXPECT_EQ(LTimeFields::Milliseconds(3723456), "1:02:03.456");
  EXPECT_EQ(LTimeFields::Milliseconds(-1500), "-0:00:01.500");
  EXPECT_EQ(LTimeFields::Hundredths(3723456), "1:02:03.46");
  EXPECT_EQ(LTimeFields::Hundredths(59995), "0:01:00.00");
}

TEST_F(UiTest, PlayerBarPlaysTheActiveSoundThroughThePlayer) {
  const std::string capture = test::TempPath(".wav");
  ::setenv("KLANGOR_SOUND_OUT", ("virtual-fast:" + capture).c_str(), 1);
  {
    LMainWindow window(settings_, nullptr);
    const std::string wave = MakeWave(0.7);
    window.OpenFiles({wave});
    ASSERT_NE(window.Frame().ActiveDocument(), nullptr);
    for (int id : {kCmdPlay, kCmdStop, kCmdPlaySlow, kCmdRepeat, kCmdToStart, kCmdRewind, kCmdForward, kCmdToEnd}) {
      EXPECT_TRUE(window.Action(id)->isEnabled()) << id;
    }
    auto* play = window.findChild<QAbstractButton*>("bar111");
    auto* scrub = window.findChild<QAbstractButton*>("bar112");
    ASSERT_NE(play, nullptr);
    ASSERT_NE(scrub, nullptr);
    EXPECT_TRUE(scrub->isEnabled());
    play->click();
    EXPECT_TRUE(WaitFor([&] { return !window.Frame().Player().IsPlaying(); }));
    EXPECT_EQ(test::SoxSamples16(capture), test::SoxSamples16(wave));
    EXPECT_EQ(window.Frame().ActiveDocument()->cursor, 5600);  // playback left it at the end
  }
  ::setenv("KLANGOR_SOUND_OUT", "virtual-fast", 1);
}

TEST_F(UiTest, TheRecorderDialogRecordsATakeIntoTheActiveDocument) {
  test::UsePrivateHome(test::TempPath("-home"));
  const std::string input = MakeWave(0.5);
  ::setenv("KLANGOR_SOUND_IN", ("virtual-fast:" + input).c_str(), 1);
  settings_.Write(kRecorderAutostart, true);
  settings_.Write(kRecorderAutotrim, false);
  {
    LMainWindow window(settings_, nullptr);
    window.OpenFiles({MakeWave(0.5)});
    ASSERT_NE(window.Frame().ActiveDocument(), nullptr);
    ASSERT_TRUE(window.Action(kCmdRecord)->isEnabled());
    QString title;
    LModalScript script({[&](QWidget* modal) {
      // Autostart recorded a first take; once it is listed and stopped, OK inserts it.
      auto* takes = modal->findChild<QListWidget*>("takes");
      auto* time = modal->findChild<QLabel*>("time");
      if (takes == nullptr || takes->count() != 1 || time == nullptr || !time->text().endsWith("Bereit")) return false;
      title = modal->windowTitle();
      modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
      return true;
    }});
    window.Action(kCmdRecord)->trigger();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(title, "Aufnahmesteuerung");
    EXPECT_EQ(window.Frame().ActiveDocument()->Length(), 8000);
    EXPECT_EQ(window.Frame().ActiveDocument()->selectionEnd, 4000);
  }
  ::unsetenv("KLANGOR_SOUND_IN");
}

}  // namespace
}  // namespace klangor
