#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

#include "app/document_journal.h"
#include "app/file_commands.h"
#include "app/recent_files.h"
#include "app/record_command.h"
#include "app/command_set.h"
#include "app/single_instance.h"
#include "app/window_placement.h"
#include "device/alsa_mixer.h"
#include "device/output_devices.h"
#include "effects/cue_stream.h"
#include "effects/grain_stretch.h"
#include "frame/key_code.h"
#include "platform/paths.h"
#include "player/playback.h"
#include "recorder/take_file.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "ui/bars.h"
#include "ui/document_view.h"
#include "ui/key_mapping.h"
#include "ui/preview_player.h"
#include "ui/qt_text.h"
#include "ui/qt_notifier.h"
#include "ui/qt_user_interface.h"

namespace klangor {
namespace {

// The menu text without its "&" and "..." for a button.
QString ButtonText(const std::string& menuText) {
  QString text = Q(menuText);
  text.remove('&');
  if (text.endsWith("...")) text.chop(3);
  return text;
}

QString WithKey(const QString& text, uint32_t key) {
  return key == 0 ? text : text + "\t" + Q(KeyText(key));
}

constexpr int kRecentMenuLength = 60;  // characters of a path in the menu

}  // namespace

// The frame's player (ALSA, or the virtual device that KLANGOR_SOUND_OUT names), the dialogs'
// preview through it, and the player bar's display of what it plays.
class LMainWindow::LPlayerParts final : public LPreviewPlayer, public LPlayerListener {
 public:
  LPlayerParts(LMainWindow& window, LSettingsStore& settings)
      : window_(window),
        settings_(settings),
        playback(notifier_, devices_, settings, {MakeTimeStretch, MakeCueStream}) {
    playback.SetDisplay(this);
  }

  // LPreviewPlayer
  bool Available() const override { return true; }
  void Play(LRef<LSoundStream> stream) override { playback.PlayStream(std::move(stream)); }
  void Stop() override { playback.Stop(); }
  bool Playing() const override { return playback.IsPlaying(); }

  // LPlayerListener: the bar's buttons follow through RefreshBars (the playback calls it).
  void Stopped(uint32_t) override {
    if (window_.levelMeter_ != nullptr) window_.levelMeter_->SetLevels(0, 0);
    Redraw();
  }
  void Position(int64_t, int32_t, uint32_t) override { Redraw(); }

  // The recorder dialog over ALSA's capture devices (or KLANGOR_SOUND_IN's virtual input).
  std::unique_ptr<LRecordDialog> MakeRecordDialog(int32_t rate, int channels) {
    return std::make_unique<LRecordDialog>(
        LRecordDialogParts{notifier_, inputs_, devices_, AlsaMixerOpener(), settings_, {}}, rate, channels);
  }
  void Levels(const LLevelRecord& levels, uint32_t) override {
    // The meter shows -36 .. +12 dB.
    auto bar = [](int db) { return (std::clamp(db, -36, 12) + 36) * 100 / 48; };
    const int left = levels.channels > 0 ? levels.levels[0] : -127;
    const int right = levels.channels > 1 ? levels.levels[1] : left;
    if (window_.levelMeter_ != nullptr) window_.levelMeter_->SetLevels(bar(left), bar(right));
  }

 private:
  void Redraw() {
    if (LSoundDocument* document = playback.PlayedDocument()) window_.RedrawDocument(*document);
  }

  LMainWindow& window_;
  LSettingsStore& settings_;
  LQtNotifier notifier_;
  LSystemOutputDevices devices_;
  LSystemInputDevices inputs_{OpenTakeSource};

 public:
  LPlayback playback;
};

// A wave window: the MDI child around a document view. Closing it asks the frame, which may
// keep it open (unsaved work).
class LMainWindow::LWaveWindow final : public QMdiSubWindow {
 public:
  LWaveWindow(LMainWindow& frame, LSoundDocument& document, LDocumentView* view)
      : frame_(frame), document_(document), view_(view) {
    setObjectName("LMC");
    setWidget(view);
    setAttribute(Qt::WA_DeleteOnClose);
  }
  LDocumentView* View() const { return view_; }
  void AllowClose() { allowed_ = true; }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (allowed_) return QMdiSubWindow::closeEvent(event);
    event->ignore();
    // The frame decides (after asking about unsaved work) and closes through DocumentClosed.
    QTimer::singleShot(0, &frame_, [frame = &frame_, document = LRef<LSoundDocument>(&document_)] {
      if (frame->Busy()) return;
      ++frame->busy_;
      LCommandContext context = frame->Context();
      CloseDocumentAsking(context, *document);
      --frame->busy_;
      frame->AfterCommand();
    });
  }

 private:
  LMainWindow& frame_;
  LSoundDocument& document_;
  LDocumentView* view_;
  bool allowed_ = false;
};

LMainWindow::LMainWindow(LSettingsStore& settings, LDocumentJournal* journal)
    : settings_(settings),
      journal_(journal),
      player_(std::make_unique<LPlayerParts>(*this, settings)),
      frame_(*this, player_->playback),
      ui_(std::make_unique<LQtUserInterface>(this, player_.get())) {
  setObjectName("LMMWC");
  setWindowTitle("Klangor");
  setAcceptDrops(true);
  setMinimumSize(kMinWindowWidth, kMinWindowHeight);
  AddAllCommands(commands_);
  AddFrameCommands();
  player_->playback.Attach(&frame_, ui_.get());
  AddPlayCommands(commands_, player_->playback);
  AddRecordCommand(commands_, [this](int32_t rate, int channels) { return player_->MakeRecordDialog(rate, channels); });
  std::vector<LKeyBinding> user;
  LKeyFileResult keys = ReadKeyFile(KeyFilePath());
  if (keys.status == LKeyFileStatus::kLoaded) user = std::move(keys.bindings);
  if (keys.status == LKeyFileStatus::kWrongVersion) {
    // Shown once the window is up; the built-in keys apply meanwhile.
    QTimer::singleShot(0, this, [this] {
      ui_->Message(kKeyFileVersionMessage, kKeyFileErrorTitle, LButtons::kOk, LIcon::kError);
    });
  }
  keys_ = LKeyTable(std::move(user));

  mdi_ = new QMdiArea(this);
  mdi_->setObjectName("mdiClient");
  mdi_->setBackground(QColor(96, 104, 112));
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
    if (window == nullptr || closing_) return;
    for (const auto& [document, wave] : windows_) {
      if (wave == window) frame_.Activate(*const_cast<LSoundDocument*>(document));
    }
    RefreshBars();
  });

  BuildMenus();
  BuildBars();
  status_ = new QLabel(this);
  statusBar()->addWidget(status_, 1);
  qApp->installEventFilter(this);
  RefreshBars();
  frame_.RefreshUndoMenu();
}

LMainWindow::~LMainWindow() {
  qApp->removeEventFilter(this);
  closing_ = true;
}

LUserInterface& LMainWindow::Ui() { return *ui_; }

LCommandContext LMainWindow::Context() { return LCommandContext{frame_, *ui_, settings_}; }

QAction* LMainWindow::Action(int id) const {
  auto found = actions_.find(id);
  return found == actions_.end() ? nullptr : found->second;
}

LDocumentView* LMainWindow::ViewOf(const LSoundDocument& document) const {
  auto found = windows_.find(&document);
  return found == windows_.end() ? nullptr : found->second->View();
}

bool LMainWindow::Dispatch(int id) {
  if (busy_ > 0 || commands_.Find(id) == nullptr) return false;
  ++busy_;
  LCommandContext context = Context();
  commands_.Dispatch(id, context);
  --busy_;
  AfterCommand();
  return true;
}

void LMainWindow::AfterCommand() {
  if (closing_) return;
  if (journal_ != nullptr) journal_->Update(frame_.Documents());
  RefreshBars();
  if (!commandLines_.empty()) QTimer::singleShot(0, this, [this] { RunQueuedCommandLines(); });
}

// --- commands that only the windows can do ---

void LMainWindow::AddFrameCommands() {
  auto add = [this](int id, std::function<void()> call) {
    const LMenuEntry* entry = FindMenuCommand(id);
    commands_.Add({id, entry != nullptr ? entry->text : "", [call](LCommandContext&) { call(); }});
  };
  add(kCmdExit, [this] { QTimer::singleShot(0, this, &QWidget::close); });
  add(kCmdCascade, [this] { mdi_->cascadeSubWindows(); });
  add(kCmdTile, [this] { mdi_->tileSubWindows(); });
  add(kCmdArrangeIcons, [this] { ArrangeIcons(); });
  add(kCmdShowMainToolbar, [this] {
    settings_.Write(kShowMainToolbar, !settings_.Read(kShowMainToolbar));
    mainToolbar_->setVisible(settings_.Read(kShowMainToolbar));
  });
  add(kCmdShowEffectsBar, [this] {
    settings_.Write(kShowEffectsToolbar, !settings_.Read(kShowEffectsToolbar));
    effectsBar_->setVisible(settings_.Read(kShowEffectsToolbar));
  });
  add(kCmdShowCommandBar, [this] {
    settings_.Write(kShowCommandBar, !settings_.Read(kShowCommandBar));
    commandBar_->setVisible(settings_.Read(kShowCommandBar));
  });
  auto side = [this](bool left) {
    settings_.Write(kShowCommandBarLeft, left);
    addToolBar(left ? Qt::LeftToolBarArea : Qt::RightToolBarArea, commandBar_);
    commandBar_->setVisible(settings_.Read(kShowCommandBar));
  };
  add(kCmdCommandBarLeft, [side] { side(true); });
  add(kCmdCommandBarRight, [side] { side(false); });
  add(kCmdAbout, [this] {
    QMessageBox box(QMessageBox::Information, "Über Klangor",
                    QString("<b>Klangor</b> %1<br><br>Ein Audio-Editor für Linux.<br>"
                            "Alle Klänge liegen in Blockdateien im Arbeitsordner, nie ganz im Speicher.")
                        .arg(QCoreApplication::applicationVersion()),
                    QMessageBox::NoButton, this);
    box.addButton("OK", QMessageBox::AcceptRole);
    box.exec();
  });
  add(kCmdHelp, [this] {
    QString text = "<b>Tastenkürzel</b><table>";
    for (const LMenuEntry* entry : MenuCommands()) {
      if (entry->key == 0 || commands_.Find(entry->id) == nullptr) continue;
      text += "<tr><td>" + Q(KeyText(entry->key)) + "&nbsp;&nbsp;</td><td>" + ButtonText(entry->text) + "</td></tr>";
    }
    text += "</table>";
    QMessageBox box(QMessageBox::NoIcon, "Hilfethemen", text, QMessageBox::NoButton, this);
    box.addButton("OK", QMessageBox::AcceptRole);
    box.exec();
  });
}

// --- menus and bars ---

QAction* LMainWindow::CommandAction(int id, const QString& text) {
  auto* action = new QAction(text, this);
  action->setObjectName(QString("command%1").arg(id));
  action->setData(id);
  if (commands_.Find(id) == nullptr) {
    action->setEnabled(false);
    action->setToolTip(kNotAvailableTip);
    action->setStatusTip(QString(kNotAvailableTip));
  }
  connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
  return action;
}

void LMainWindow::FillMenu(QMenu* menu, const std::vector<LMenuEntry>& entries) {
  menu->setToolTipsVisible(true);
  for (const LMenuEntry& entry : entries) {
    switch (entry.kind) {
      case LMenuKind::kSeparator: menu->addSeparator(); break;
      case LMenuKind::kSubmenu: {
        QMenu* submenu = menu->addMenu(Q(entry.text));
        FillMenu(submenu, entry.children);
        // A submenu of entries that are all still to come is disabled as they are.
        const QList<QAction*> inside = submenu->actions();
        if (std::none_of(inside.begin(), inside.end(), [](QAction* a) { return a->isEnabled() && !a->isSeparator(); })) {
          submenu->menuAction()->setEnabled(false);
          submenu->menuAction()->setToolTip(kNotAvailableTip);
        }
        break;
      }
      case LMenuKind::kRecentFiles:
        recentMenu_ = menu;
        recentAnchor_ = menu->addSeparator();
        break;
      case LMenuKind::kWindowList:
        windowMenu_ = menu;
        menu->addSeparator();
        break;
      case LMenuKind::kCommand: {
        const LCommand* command = commands_.Find(entry.id);
        const std::string text = command != nullptr && !command->menuText.empty() ? command->menuText : entry.text;
        QAction* action = CommandAction(entry.id, WithKey(Q(text), entry.key));
        action->setCheckable(entry.checkable);
        menu->addAction(action);
        actions_[entry.id] = action;
        break;
      }
    }
  }
}

void LMainWindow::BuildMenus() {
  for (const LMenuEntry& top : MainMenu()) {
    QMenu* menu = menuBar()->addMenu(Q(top.text));
    FillMenu(menu, top.children);
  }
  connect(windowMenu_, &QMenu::aboutToShow, this, [this] { RebuildWindowList(); });
}

void LMainWindow::BuildBars() {
  // A bar button is the menu entry's own action (so both are enabled and checked alike),
  // showing the menu text without "&" and "...".
  auto button = [this](QToolBar* bar, int id) {
    const LMenuEntry* entry = FindMenuCommand(id);
    const LCommand* command = commands_.Find(id);
    const std::string text = command != nullptr && !command->menuText.empty() ? command->menuText
                             : entry != nullptr                               ? entry->text
                                                                              : "";
    QAction* action = Action(id);
    if (action == nullptr) {
      action = CommandAction(id, ButtonText(text));
      extraActions_.push_back(action);
    }
    action->setIconText(ButtonText(text));
    if (entry != nullptr && entry->key != 0 && command != nullptr) {
      action->setToolTip(ButtonText(text) + " (" + Q(KeyText(entry->key)) + ")");
    }
    bar->addAction(action);
    return action;
  };

  mainToolbar_ = addToolBar("Werkzeugleiste");
  mainToolbar_->setObjectName("mainToolbar");
  mainToolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  mainToolbar_->setIconSize(QSize(16, 16));
  const int toolbarIds[] = {kCmdNew, kCmdOpen, kCmdSave, 0, kCmdUndo, kCmdRedo, 0, kCmdCut, kCmdCopy, kCmdPaste, 2006};
  for (int id : toolbarIds) {
    if (id == 0) {
      mainToolbar_->addSeparator();
    } else {
      button(mainToolbar_, id)->setIcon(CommandIcon(id));
    }
  }
  mainToolbar_->setVisible(settings_.Read(kShowMainToolbar));

  playerBar_ = addToolBar("Wiedergabe");
  playerBar_->setObjectName("playerBar");
  auto* player = new QWidget(playerBar_);
  auto* layout = new QHBoxLayout(player);
  layout->setContentsMargins(2, 1, 2, 1);
  layout->setSpacing(2);
  using LSymbol = LTransportButton::LSymbol;
  const std::tuple<LSymbol, int, int, const char*> transport[] = {
      {LSymbol::kRecord, 118, kCmdRecord, "Aufnehmen"},   {LSymbol::kPlay, 111, kCmdPlay, "Abspielen"},
      {LSymbol::kScrub, 112, 0, "Scrubben"},              {LSymbol::kStop, 113, kCmdStop, "Stop"},
      {LSymbol::kToStart, 114, kCmdToStart, "Zum Anfang"}, {LSymbol::kRewind, 115, kCmdRewind, "Zurückspulen"},
      {LSymbol::kForward, 116, kCmdForward, "Vorspulen"},  {LSymbol::kToEnd, 117, kCmdToEnd, "Zum Ende"},
  };
  for (const auto& [symbol, control, id, tip] : transport) {
    auto* b = new LTransportButton(symbol, player);
    b->setObjectName(QString("bar%1").arg(control));
    const bool available = control == kBarScrub || (id != 0 && commands_.Find(id) != nullptr);
    b->setEnabled(available);
    b->setToolTip(QString::fromUtf8(tip) + (available ? QString() : QString(" - ") + kNotAvailableTip));
    LPlayback& playback = player_->playback;
    if (control == kBarScrub) {
      connect(b, &QAbstractButton::clicked, this, [&playback] { playback.Scrub(); });
    } else if (control == kBarRewind || control == kBarForward) {
      // Cue while the button is held down.
      const LCueDirection direction = control == kBarRewind ? LCueDirection::kRewind : LCueDirection::kForward;
      connect(b, &QAbstractButton::pressed, this, [&playback, direction] { playback.CueStart(direction); });
      connect(b, &QAbstractButton::released, this, [&playback] { playback.CueEnd(); });
    } else {
      connect(b, &QAbstractButton::clicked, this, [this, command = id] { Dispatch(command); });
    }
    layout->addWidget(b);
  }
  layout->addSpacing(6);
  volume_ = new LDbSlider(-60, 0, player);
  volume_->setProperty("controlId", 102);
  volume_->setToolTip("Lautstärke");
  volume_->SetValue(0);
  volume_->changed = [this](int db) { player_->playback.SetVolumeDb(db); };
  layout->addWidget(volume_);
  levelMeter_ = new LLevelMeter(player);
  levelMeter_->setToolTip("Pegel");
  layout->addWidget(levelMeter_);
  playerBar_->addWidget(player);
  // The player bar's time fields sit at the bottom, where there is room for all four.
  timeBar_ = new QToolBar("Zeiten", this);
  timeBar_->setObjectName("timeBar");
  timeFields_ = new LTimeFields(timeBar_);
  timeBar_->addWidget(timeFields_);
  addToolBar(Qt::BottomToolBarArea, timeBar_);

  addToolBarBreak();
  effectsBar_ = addToolBar("Effektleiste");
  effectsBar_->setObjectName("effectsBar");
  effectsBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (int id : {4100, 4101, 4105, 4102, 4103, 4110, 4111, 4112, 4113, 4114, 4115, 4020, 4023, 4024, 4027}) {
    button(effectsBar_, id);
  }
  effectsBar_->setVisible(settings_.Read(kShowEffectsToolbar));

  commandBar_ = new QToolBar("Kommandozeile", this);
  commandBar_->setObjectName("commandBar");
  commandBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  commandBar_->setOrientation(Qt::Vertical);
  const int commandBarIds[] = {kCmdOpen, kCmdSave, kCmdClose, 0,    kCmdUndo, kCmdCut, kCmdCopy, kCmdPaste, 2006,
                               0,        2007,     2010,      2014, 2021,     0,       kCmdPlay, kCmdStop};
  for (int id : commandBarIds) {
    if (id == 0) {
      commandBar_->addSeparator();
    } else {
      button(commandBar_, id);
    }
  }
  addToolBar(settings_.Read(kShowCommandBarLeft) ? Qt::LeftToolBarArea : Qt::RightToolBarArea, commandBar_);
  commandBar_->setVisible(settings_.Read(kShowCommandBar));
}

void LMainWindow::RebuildRecentMenu() {
  if (recentMenu_ == nullptr) return;
  for (QAction* action : recentActions_) {
    recentMenu_->removeAction(action);
    action->deleteLater();
  }
  recentActions_.clear();
  for (const LRecentFile& file : RecentFiles(settings_)) {
    QString text = Q(RecentMenuText(file));
    if (text.size() > kRecentMenuLength) text = text.left(4) + "..." + text.right(kRecentMenuLength - 7);
    QAction* action = CommandAction(RecentCommand(file.slot), text);
    action->setToolTip(Q(file.path));
    recentMenu_->insertAction(recentAnchor_, action);
    recentActions_.push_back(action);
  }
}

void LMainWindow::RebuildWindowList() {
  for (QAction* action : windowActions_) {
    windowMenu_->removeAction(action);
    action->deleteLater();
  }
  windowActions_.clear();
  int n = 0;
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    auto* action = new QAction(QString("&%1 %2").arg(++n).arg(window->windowTitle()), this);
    action->setCheckable(true);
    action->setChecked(window == mdi_->activeSubWindow());
    connect(action, &QAction::triggered, this, [this, window] { mdi_->setActiveSubWindow(window); });
    windowMenu_->addAction(action);
    windowActions_.push_back(action);
  }
}

void LMainWindow::UpdateChecks() {
  auto check = [this](int id, bool on) {
    if (QAction* action = Action(id)) action->setChecked(on);
  };
  check(kCmdShowMainToolbar, mainToolbar_->isVisible() || settings_.Read(kShowMainToolbar));
  check(kCmdShowEffectsBar, settings_.Read(kShowEffectsToolbar));
  check(kCmdShowCommandBar, settings_.Read(kShowCommandBar));
  check(kCmdCommandBarLeft, settings_.Read(kShowCommandBarLeft));
  check(kCmdCommandBarRight, !settings_.Read(kShowCommandBarLeft));
  const int speed = settings_.Read(kPlaySpeed);
  check(kCmdPlaySlow, speed == 0);
  check(kCmdPlayNormal, speed == 1);
  check(kCmdPlayFast, speed == 2);
  check(kCmdRepeat, settings_.Read(kPlayRepeat));
  LSoundDocument* document = frame_.ActiveDocument();
  check(5005, document != nullptr && document->verticalZoom);
  for (int mode = 0; mode < 3; ++mode) check(mode == 2 ? 5013 : 5007 + mode, document != nullptr && document->displayMode == mode);
}

// --- LFrameView ---

void LMainWindow::DocumentOpened(LSoundDocument& document) {
  if (QMdiSubWindow* active = mdi_->activeSubWindow()) childWasMaximized_ = active->isMaximized();
  LDocumentView* view = CreateDocumentView(LRef<LSoundDocument>(&document), nullptr);
  view->SetHooks({.run = [this](int id) { Dispatch(id); },
                  .available = [this](int id) { return commands_.Find(id) != nullptr; },
                  .selectionChanged = [this, shown = &document] {
                    if (shown == frame_.ActiveDocument()) timeFields_->Show(shown);
                  }});
  auto* window = new LWaveWindow(*this, document, view);
  window->setWindowTitle(Q(DocumentName(document)));
  mdi_->addSubWindow(window);
  windows_[&document] = window;
  if (windows_.size() == 1 && childWasMaximized_) {
    window->showMaximized();
  } else {
    window->resize(std::max(mdi_->width() / 2, 360), std::max(mdi_->height() / 3, 160));
    window->show();
  }
  mdi_->setActiveSubWindow(window);
}

void LMainWindow::DocumentClosed(LSoundDocument& document) {
  auto found = windows_.find(&document);
  if (found == windows_.end()) return;
  LWaveWindow* window = found->second;
  childWasMaximized_ = window->isMaximized();
  windows_.erase(found);
  window->AllowClose();
  window->close();
  if (frame_.ActiveDocument() != nullptr) {
    if (LWaveWindow* next = windows_[frame_.ActiveDocument()]) mdi_->setActiveSubWindow(next);
  }
}

void LMainWindow::ArrangeWindows() {
  // Several opens in a row (a drop of many files) arrange once, afterwards.
  if (arrangePending_) return;
  arrangePending_ = true;
  QTimer::singleShot(0, this, [this] {
    arrangePending_ = false;
    StackWindows();
  });
}

void LMainWindow::StackWindows() {
  QList<QMdiSubWindow*> windows;
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    if (!window->isMinimized()) windows << window;
  }
  if (windows.isEmpty()) return;
  // One above the other over the whole width; too many for that are cascaded.
  const int height = mdi_->viewport()->height() / static_cast<int>(windows.size());
  if (height < 90) {
    mdi_->cascadeSubWindows();
    return;
  }
  int y = 0;
  for (QMdiSubWindow* window : windows) {
    if (window->isMaximized()) window->showNormal();
    window->setGeometry(0, y, mdi_->viewport()->width(), height);
    y += height;
  }
}

void LMainWindow::ArrangeIcons() {
  int x = 0;
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    if (!window->isMinimized()) continue;
    const QSize size = window->size();
    if (x + size.width() > mdi_->viewport()->width()) x = 0;
    window->move(x, mdi_->viewport()->height() - size.height());
    x += size.width();
  }
}

void LMainWindow::RefreshBars() {
  if (closing_) return;
  LSoundDocument* document = frame_.ActiveDocument();
  setWindowTitle(document == nullptr ? QString("Klangor") : "Klangor - " + Q(DocumentName(*document)));
  for (const auto& [open, window] : windows_) {
    window->setWindowTitle(Q(DocumentName(*open)) + (open->modified ? " *" : ""));
  }
  timeFields_->Show(document);
  if (document != nullptr) {
    status_->setText(QString("Samplerate: %1   %2").arg(document->sound.SampleRate()).arg(document->sound.Channels() == 1 ? "Mono" : "Stereo"));
  } else {
    status_->setText("Bereit");
  }
  if (QAction* save = Action(kCmdSave)) save->setEnabled(document != nullptr && commands_.Find(kCmdSave) != nullptr);
  RebuildRecentMenu();
  UpdateChecks();
  if (document != nullptr) {
    if (LDocumentView* view = ViewOf(*document)) view->Refresh();
  }
}

void LMainWindow::EnableSave(bool enabled) {
  if (QAction* save = Action(kCmdSave)) save->setEnabled(enabled || frame_.ActiveDocument() != nullptr);
}

void LMainWindow::RefreshUndoMenu(const LUndoMenuState& state) {
  auto set = [this](int id, const std::string& text, const char* plain, uint32_t key, bool enabled) {
    QAction* action = Action(id);
    if (action == nullptr) return;
    action->setText(text.empty() ? WithKey(QString::fromUtf8(plain), key) : Q(text));
    action->setEnabled(enabled);
  };
  set(kCmdUndo, state.undoText, "Rückgängig", kKeyCtrl | KeyChar('Z'), state.undoEnabled);
  set(kCmdRedo, state.redoText, "Wiederholen", kKeyCtrl | KeyChar('Y'), state.redoEnabled);
}

void LMainWindow::RedrawDocument(LSoundDocument& document) {
  if (LDocumentView* view = ViewOf(document)) view->Refresh();
  if (&document == frame_.ActiveDocument()) timeFields_->Show(&document);
}

// --- LCommandLineActions ---

void LMainWindow::BringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void LMainWindow::SaveActive() { Dispatch(kCmdSave); }

void LMainWindow::SaveActiveAs(const std::string& path) {
  LSoundDocument* document = frame_.ActiveDocument();
  if (document == nullptr || busy_ > 0) return;
  ++busy_;
  LCommandContext context = Context();
  SaveDocumentAs(context, *document, path);
  --busy_;
  AfterCommand();
}

void LMainWindow::CloseActive() { Dispatch(kCmdClose); }
void LMainWindow::Exit() { QTimer::singleShot(0, this, &QWidget::close); }
void LMainWindow::Minimize() { showMinimized(); }
void LMainWindow::Maximize() { showMaximized(); }
void LMainWindow::Restore() { showNormal(); }

void LMainWindow::ResizeClient(std::optional<int> width, std::optional<int> height) {
  if (isMaximized() || isMinimized()) showNormal();
  resize(std::max(width.value_or(this->width()), kMinWindowWidth), std::max(height.value_or(this->height()), kMinWindowHeight));
}

void LMainWindow::Batch(const std::string& /*script*/) {
  ui_->Message("Die Stapelbearbeitung ist in dieser Version nur als klangor-batch im Terminal verfügbar.", "Klangor",
               LButtons::kOk, LIcon::kInformation);
}

void LMainWindow::OpenProject(const std::string& path) {
  ui_->Message("Projektdateien können in dieser Version noch nicht geöffnet werden:\n" + path, "Klangor", LButtons::kOk,
               LIcon::kInformation);
}

void LMainWindow::OpenAudio(const std::string& path) { OpenFiles({path}); }

void LMainWindow::OpenFiles(const std::vector<std::string>& files) {
  if (files.empty()) return;
  ++busy_;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  LCommandContext context = Context();
  bool prompt = true;  // one message for a run of files that do not open
  for (const std::string& file : files) {
    OpenAudioDocument(context, file, &prompt);
    if (closing_) break;
  }
  QApplication::restoreOverrideCursor();
  --busy_;
  AfterCommand();
}

void LMainWindow::QueueCommandLine(std::vector<std::string> arguments) {
  commandLines_.push_back(std::move(arguments));
  QTimer::singleShot(0, this, [this] { RunQueuedCommandLines(); });
}

void LMainWindow::RunQueuedCommandLines() {
  // Another command (or a dialog of one) is running: the queue waits for it to end.
  if (busy_ > 0 || QApplication::activeModalWidget() != nullptr || commandLines_.empty()) {
    if (!commandLines_.empty()) QTimer::singleShot(200, this, [this] { RunQueuedCommandLines(); });
    return;
  }
  std::vector<std::string> arguments = std::move(commandLines_.front());
  commandLines_.pop_front();
  ProcessCommandLine(arguments, *this);
  if (!commandLines_.empty()) QTimer::singleShot(0, this, [this] { RunQueuedCommandLines(); });
}

void LMainWindow::ListenForStarts(LSingleInstance& instance) {
  instance_ = &instance;
  if (instance.ListenDescriptor() < 0) return;
  auto* notifier = new QSocketNotifier(instance.ListenDescriptor(), QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] {
    for (int fd = instance_->Accept(); fd >= 0; fd = instance_->Accept()) {
      auto reader = std::make_shared<LForwardReader>(fd);
      auto* incoming = new QSocketNotifier(fd, QSocketNotifier::Read, this);
      // A sender that never finishes is dropped after a while.
      auto* timeout = new QTimer(incoming);
      timeout->setSingleShot(true);
      connect(timeout, &QTimer::timeout, incoming, &QObject::deleteLater);
      timeout->start(10000);
      connect(incoming, &QSocketNotifier::activated, this, [this, reader, incoming] {
        const LForwardReader::LState state = reader->Read();
        if (state == LForwardReader::LState::kMore) return;
        incoming->setEnabled(false);
        incoming->deleteLater();
        if (state == LForwardReader::LState::kDone) QueueCommandLine(reader->Arguments());
      });
      connect(incoming, &QObject::destroyed, this, [reader] {});
    }
  });
}

// --- window events ---

void LMainWindow::ShowPlaced() {
  const LWindowPlacement placement = ReadWindowPlacement(settings_);
  std::vector<LRect> screens;
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect area = screen->availableGeometry();
    screens.push_back({area.x(), area.y(), area.width(), area.height()});
  }
  const LRect normal = FitOnScreens(placement.normal, screens);
  setGeometry(normal.x, normal.y, normal.width, normal.height);
  if (placement.maximized) {
    showMaximized();
  } else {
    show();
  }
}

bool LMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  // Keys of the main window and its children only (dialogs have their own), once each.
  if (widget == nullptr || widget->window() != this || QApplication::activeModalWidget() != nullptr) return false;
  if (widget != QApplication::focusWidget() && widget != this) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (event->type() == QEvent::KeyRelease) {
    if (key->isAutoRepeat()) return false;
    const uint32_t released = VirtualKeyOf(key->key());
    keys_.KeyUp(released);
    // Releasing a cue key ends the cue, as releasing the bar's button does.
    if (released == kVkLeft || released == kVkRight || released == KeyF(7) || released == KeyF(8)) {
      player_->playback.CueEnd();
    }
    return false;
  }
  // Typing into an edit field (the dB value) stays there.
  if (auto* edit = qobject_cast<QLineEdit*>(widget); edit != nullptr && !edit->isReadOnly() &&
      !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    return false;
  }
  const uint32_t code = KeyCodeOf(*key);
  if (code == 0) return false;
  if (busy_ > 0) return false;
  if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier && frame_.ActiveDocument() != nullptr) {
    // Space: scrub, or back to play while scrubbing.
    if (!key->isAutoRepeat()) player_->playback.Scrub();
    return true;
  }
  const LKeyTable::LKeyResult result =
      keys_.KeyDown(code, key->isAutoRepeat(), frame_.ActiveDocument(), [this](int id) { Dispatch(id); });
  if (result == LKeyTable::LKeyResult::kSelected && frame_.ActiveDocument() != nullptr) {
    RedrawDocument(*frame_.ActiveDocument());
  }
  return result != LKeyTable::LKeyResult::kUnused;
}

void LMainWindow::closeEvent(QCloseEvent* event) {
  if (busy_ > 0) {
    event->ignore();
    return;
  }
  ++busy_;
  LCommandContext context = Context();
  const bool closed = CloseAllDocuments(context);
  --busy_;
  if (!closed) {
    event->ignore();
    AfterCommand();
    return;
  }
  const QRect desktop = screen() != nullptr ? screen()->availableGeometry() : QRect(0, 0, 100000, 100000);
  const QRect normal = normalGeometry();
  SaveWindowPlacement(settings_, {normal.x(), normal.y(), normal.width(), normal.height()}, isMaximized(),
                      isMinimized(), desktop.right() + 1);
  frame_.StopPlayback();
  closing_ = true;
  if (journal_ != nullptr) journal_->RemoveAll();
  event->accept();
}

void LMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void LMainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> files;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    const std::string path = S(url.toLocalFile());
    if (!path.empty() && path.size() <= kMaxPathLength) files.push_back(path);
  }
  event->acceptProposedAction();
  // The drop ends first; the files open right after it, in drop order.
  QTimer::singleShot(0, this, [this, files] {
    if (busy_ > 0) return;
    OpenFiles(files);
  });
}

}  // namespace klangor
