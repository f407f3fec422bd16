#include "ui/screenshot_tour.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

#include "ui/main_window.h"
#include "ui/qt_text.h"

namespace klangor {
namespace {

class LTour : public QObject {
 public:
  LTour(LMainWindow& window, QString folder) : QObject(&window), window_(window), folder_(std::move(folder)) {
    QDir().mkpath(folder_);
  }

  void Grab(const QString& name) {
    QApplication::processEvents();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QPixmap picture = screen->grabWindow(0);
    // Without a window manager (Xvfb) windows have no title bars: draw them, so the titles
    // can be reviewed too.
    QPainter p(&picture);
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (!top->isVisible() || top->windowType() == Qt::Popup || top->windowType() == Qt::SplashScreen ||
          top->windowTitle().isEmpty() || top->windowType() == Qt::ToolTip) {
        continue;
      }
      const QRect frame = top->frameGeometry();
      const QRect bar(frame.left(), std::max(frame.top() - 22, 0), frame.width(), 22);
      p.fillRect(bar, QColor(50, 80, 130));
      p.setPen(Qt::white);
      p.drawText(bar.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, top->windowTitle());
    }
    p.end();
    picture.save(folder_ + "/" + QString("%1-").arg(++count_, 2, 10, QChar('0')) + name + ".png");
  }

  // Grabs `name` once the modal window that `open` shows is up, then closes it.
  void Modal(const QString& name, std::function<void()> open) {
    steps_.push_back([this, name, open] {
      QTimer::singleShot(600, this, [this, name] {
        Grab(name);
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
      });
      open();
    });
  }
  void Command(const QString& name, int id) {
    Modal(name, [this, id] { window_.Dispatch(id); });
  }
  void Step(std::function<void()> step) { steps_.push_back(std::move(step)); }

  void Next() {
    if (steps_.empty()) {
      QApplication::quit();
      return;
    }
    auto step = std::move(steps_.front());
    steps_.pop_front();
    step();
    QTimer::singleShot(400, this, [this] { Next(); });
  }

  LMainWindow& window_;
  QString folder_;
  int count_ = 0;
  std::deque<std::function<void()>> steps_;
};

}  // namespace

void StartScreenshotTour(LMainWindow& window, const std::string& folder) {
  auto* tour = new LTour(window, Q(folder));
  tour->Step([tour] { tour->Grab("main-window"); });
  int menuIndex = 0;
  for (QAction* top : window.menuBar()->actions()) {
    if (top->menu() == nullptr) continue;
    QString name = top->text().remove('&');
    const QString file = QString("menu-%1-%2").arg(++menuIndex).arg(name.toLower());
    tour->Step([tour, &window, top, file] {
      window.menuBar()->setActiveAction(top);
      QTimer::singleShot(500, tour, [tour, &window, top, file] {
        tour->Grab(file);
        top->menu()->close();
        window.menuBar()->setActiveAction(nullptr);
      });
    });
    tour->Step([] {});  // room for the grab above
  }
  const std::pair<const char*, int> dialogs[] = {
      {"dialog-neue-datei", 1001},       {"dialog-oeffnen", 1002},           {"dialog-speichern-als", 1005},
      {"dialog-anpassen", 4100},         {"dialog-normalisieren", 4101},     {"dialog-dynamik", 4105},
      {"dialog-stereo-regler", 4107},    {"dialog-echo", 4110},              {"dialog-hall", 4111},
      {"dialog-phaser", 4112},           {"dialog-flanger", 4113},           {"dialog-chorus", 4114},
      {"dialog-verzerrung", 4115},       {"dialog-compressor", 4020},        {"dialog-geschwindigkeit", 4027},
      {"dialog-samplerate", 1006},       {"dialog-stille-einfuegen", 2016},  {"dialog-loop-wiederholen", 2009},
      {"dialog-bereich-markieren", 2027}, {"frage-schliessen", 1003},        {"hilfe", 6000},
      {"ueber", 9090},
  };
  for (const auto& [name, id] : dialogs) {
    // The question before closing comes only for unsaved work.
    if (id == 1003) {
      tour->Step([&window] {
        if (LSoundDocument* document = window.Frame().ActiveDocument()) document->modified = true;
      });
    }
    tour->Command(name, id);
  }
  tour->Modal("progress-window", [&window] {
    window.Ui().RunWithProgress("Echo", [](LProgress& progress) {
      for (int i = 0; i <= 40 && !progress.Cancelled(); ++i) {
        progress.SetProgress(i, 100);
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
      }
      while (!progress.Cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return LResult::kCancelled;
    });
  });
  tour->Step([&window] {
    // The modified demo keeps the program open otherwise; this run throws its changes away.
    for (const LRef<LSoundDocument>& document : window.Frame().Documents()) document->modified = false;
  });
  QTimer::singleShot(1800, tour, [tour] { tour->Next(); });
}

}  // namespace klangor
