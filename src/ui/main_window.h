#pragma once
// The main frame ("LMMWC"): the MDI area with the wave windows, the menu from the menu
// layout, the main tool bar, the effects bar, the command bar and the player bar, the status
// bar and the title. Every menu entry, bar button and key runs its command through the one
// command table; the frame keeps the recent files, the window placement, dropped files and
// the journals of unsaved work. It also receives the command lines of later starts.

#include <QMainWindow>
#include <QPointer>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/key_table.h"
#include "frame/command_table.h"
#include "frame/frame_model.h"
#include "frame/menu_layout.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace klangor {

class LDocumentJournal;
class LDocumentView;
class LLevelMeter;
class LQtUserInterface;
class LSingleInstance;
class LTimeFields;
class LDbSlider;

inline constexpr char kNotAvailableTip[] = "noch nicht verfügbar";

class LMainWindow final : public QMainWindow, public LFrameView, public LCommandLineActions {
 public:
  // `settings` must outlive the window. `journal` (may be null) keeps the journals of unsaved
  // work.
  LMainWindow(LSettingsStore& settings, LDocumentJournal* journal);
  ~LMainWindow() override;

  // Runs command `id` (menu items, bar buttons and keys all come here); false when the table
  // has no such command or a command is already running.
  bool Dispatch(int id);
  bool Busy() const { return busy_ > 0; }

  LFrameModel& Frame() { return frame_; }
  LUserInterface& Ui();
  const LCommandTable& Commands() const { return commands_; }
  // The menu action of command `id` (null when the menu has none).
  QAction* Action(int id) const;
  QMdiArea* MdiArea() const { return mdi_; }
  LDocumentView* ViewOf(const LSoundDocument& document) const;

  // Places the window as section "MainWindow" says and shows it.
  void ShowPlaced();
  // Accepts the command lines of later starts from `instance` (which must outlive the window).
  void ListenForStarts(LSingleInstance& instance);
  // Opens the files in order (dropped files, the recovery): the wait cursor shows meanwhile.
  void OpenFiles(const std::vector<std::string>& files);
  // Queues a command line; it runs as soon as no command is running.
  void QueueCommandLine(std::vector<std::string> arguments);

  // LFrameView
  void DocumentOpened(LSoundDocument& document) override;
  void DocumentClosed(LSoundDocument& document) override;
  void ArrangeWindows() override;
  void RefreshBars() override;
  void EnableSave(bool enabled) override;
  void RefreshUndoMenu(const LUndoMenuState& state) override;
  void RedrawDocument(LSoundDocument& document) override;

  // LCommandLineActions
  void BringToFront() override;
  void SaveActive() override;
  void SaveActiveAs(const std::string& path) override;
  void CloseActive() override;
  void Exit() override;
  void Minimize() override;
  void Maximize() override;
  void Restore() override;
  void ResizeClient(std::optional<int> width, std::optional<int> height) override;
  void Batch(const std::string& script) override;
  void OpenProject(const std::string& path) override;
  void OpenAudio(const std::string& path) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class LPlayerParts;
  class LWaveWindow;

  void BuildMenus();
  void FillMenu(QMenu* menu, const std::vector<LMenuEntry>& entries);
  void BuildBars();
  QAction* CommandAction(int id, const QString& text);
  void AddFrameCommands();
  void RebuildRecentMenu();
  void RebuildWindowList();
  void UpdateChecks();
  void StackWindows();
  void ArrangeIcons();
  void RunQueuedCommandLines();
  void AfterCommand();
  LCommandContext Context();

  LSettingsStore& settings_;
  LDocumentJournal* journal_;
  std::unique_ptr<LPlayerParts> player_;  // the player and its display
  LFrameModel frame_;
  std::unique_ptr<LQtUserInterface> ui_;
  LCommandTable commands_;
  LKeyTable keys_;
  QMdiArea* mdi_ = nullptr;
  std::map<const LSoundDocument*, LWaveWindow*> windows_;
  std::map<int, QAction*> actions_;
  std::vector<QAction*> extraActions_;  // bar buttons of commands that also have a menu entry
  QMenu* recentMenu_ = nullptr;
  QAction* recentAnchor_ = nullptr;
  std::vector<QAction*> recentActions_;
  QMenu* windowMenu_ = nullptr;
  std::vector<QAction*> windowActions_;
  QToolBar* mainToolbar_ = nullptr;
  QToolBar* effectsBar_ = nullptr;
  QToolBar* commandBar_ = nullptr;
  QToolBar* playerBar_ = nullptr;
  QToolBar* timeBar_ = nullptr;
  LTimeFields* timeFields_ = nullptr;
  LLevelMeter* levelMeter_ = nullptr;
  LDbSlider* volume_ = nullptr;
  QLabel* status_ = nullptr;
  int busy_ = 0;
  bool arrangePending_ = false;
  bool childWasMaximized_ = false;
  bool closing_ = false;
  std::deque<std::vector<std::string>> commandLines_;
  LSingleInstance* instance_ = nullptr;
};

}  // namespace klangor
