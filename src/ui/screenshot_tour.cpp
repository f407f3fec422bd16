#include "ui/screenshot_tour.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

#include "docio/encoder_settings.h"
#include "edit/save_option_dialogs.h"
#include "edit/wave_format_dialog.h"
#include "formats/wav_codec_sink.h"
#include "frame/view_commands.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/wave_control.h"
#include "ui/wave_view.h"

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

// The open document whose file name ends with `suffix`, or null.
LSoundDocument* DocumentNamed(LMainWindow& window, const std::string& suffix) {
  for (const LRef<LSoundDocument>& document : window.Frame().Documents()) {
    const std::string& name = document->fileName;
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      return document.Get();
    }
  }
  return nullptr;
}

LWaveDocumentView* WaveViewOf(LMainWindow& window, LSoundDocument& document) {
  return dynamic_cast<LWaveDocumentView*>(window.ViewOf(document));
}

// Brings the wave window of `document` to the front, maximised, and waits for its waveform.
LWaveDocumentView* Front(LMainWindow& window, LSoundDocument& document) {
  LWaveDocumentView* view = WaveViewOf(window, document);
  if (view == nullptr) return nullptr;
  for (QMdiSubWindow* child : window.MdiArea()->subWindowList()) {
    if (child->widget() == view) {
      window.MdiArea()->setActiveSubWindow(child);
      child->showMaximized();
    }
  }
  return view;
}

void WaitForWaveform(LWaveDocumentView* view) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (view != nullptr && (!view->MainView().Complete() || !view->Overview().Complete()) &&
         std::chrono::steady_clock::now() < deadline) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

// A drag with the left button across the main view, as the user makes it.
void Drag(QWidget& target, int fromX, int toX) {
  const int y = target.height() / 2;
  auto send = [&](QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons buttons) {
    const QPointF at(x, y);
    QMouseEvent event(type, at, target.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&target, &event);
  };
  send(QEvent::MouseButtonPress, fromX, Qt::LeftButton, Qt::LeftButton);
  for (int x = fromX; x <= toX; x += 20) send(QEvent::MouseMove, x, Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, toX, Qt::LeftButton, Qt::NoButton);
}

// The waveform pictures: a stereo piece in both split views, a selection made with the mouse,
// zoomed in to single samples, and a one-hour sound zoomed out.
void AddWaveformSteps(LTour* tour, LMainWindow& window) {
  auto on = [tour, &window](const std::string& suffix, const QString& name, std::function<void(LSoundDocument&, LWaveDocumentView&)> step) {
    tour->Step([tour, &window, suffix, name, step] {
      LSoundDocument* document = DocumentNamed(window, suffix);
      LWaveDocumentView* view = document != nullptr ? Front(window, *document) : nullptr;
      if (view == nullptr) return;
      step(*document, *view);
      view->Refresh();
      window.RefreshBars();
      WaitForWaveform(view);
      tour->Grab(name);
    });
  };
  on("music.wav", "wave-stereo-lanes", [&window](LSoundDocument&, LWaveDocumentView&) { window.Dispatch(kCmdDisplayLanes); });
  on("music.wav", "wave-stereo-split", [&window](LSoundDocument&, LWaveDocumentView&) { window.Dispatch(kCmdDisplaySplit); });
  on("music.wav", "wave-selection", [&window](LSoundDocument&, LWaveDocumentView& view) {
    window.Dispatch(kCmdDisplayCombined);
    WaitForWaveform(&view);
    LWaveControl& main = view.MainView();
    Drag(main, main.width() / 4, main.width() / 2);
  });
  on("music.wav", "wave-single-samples", [](LSoundDocument& d, LWaveDocumentView&) {
    d.cursor = d.Length() / 3 + 40;
    SetVisibleRange(d, d.Length() / 3, d.Length() / 3 + 120);
  });
  on("music.wav", "wave-zoomed-selection", [](LSoundDocument& d, LWaveDocumentView&) {
    d.SetSelection(d.Length() / 2, d.Length() / 2 + d.sound.SampleRate() / 10, d.Length() / 2);
    ZoomAll(d);
    d.visibleStart = d.Length() / 2 - d.sound.SampleRate() / 5;
    d.visibleEnd = d.Length() / 2 + d.sound.SampleRate() / 3;
  });
  on("hour.wav", "wave-one-hour", [](LSoundDocument& d, LWaveDocumentView&) {
    d.cursor = d.Length() / 3;
    ZoomAll(d);
  });
  tour->Step([&window] {
    for (QMdiSubWindow* child : window.MdiArea()->subWindowList()) child->showNormal();
    window.ArrangeWindows();
  });
}

}  // namespace

void StartScreenshotTour(LMainWindow& window, const std::string& folder) {
  auto* tour = new LTour(window, Q(folder));
  tour->Step([tour, &window] {
    for (const LRef<LSoundDocument>& document : window.Frame().Documents()) WaitForWaveform(WaveViewOf(window, *document));
    tour->Grab("main-window");
  });
  AddWaveformSteps(tour, window);
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
  tour->Modal("dialog-wav-format", [&window] {
    LWaveFormatDlg model(*MakeCodecWaveFormat(kWaveFormatImaAdpcm, 44100, 2));
    window.Ui().RunDialog(model);
  });
  // Two save options dialogs, for a stereo sound with the stored settings (nothing is stored).
  tour->Modal("dialog-mp3-optionen", [&window] {
    LMp3EncodeDlg model(LMp3EncoderSettings{}, 2);
    window.Ui().RunDialog(model);
  });
  tour->Modal("dialog-ogg-optionen", [&window] {
    LOggEncoderSettings settings;
    settings.qualityMode = false;
    LOggEncodeDlg model(settings, 2);
    window.Ui().RunDialog(model);
  });
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
  // The tour begins once the files of the command line are loaded: nothing has run for a second.
  // A window that asks something while the files load (a message at start) is grabbed and
  // closed after a while, so the tour never waits for a click that cannot come.
  const auto started = std::chrono::steady_clock::now();
  auto idleSince = std::make_shared<std::chrono::steady_clock::time_point>(started);
  auto* poll = new QTimer(tour);
  QObject::connect(poll, &QTimer::timeout, tour, [tour, poll, idleSince, started, &window] {
    const auto now = std::chrono::steady_clock::now();
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && now - started > std::chrono::seconds(20)) {
      tour->Grab("unerwartetes-fenster");
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    }
    if (window.Busy() || modal != nullptr) *idleSince = now;
    if (now - *idleSince < std::chrono::seconds(1)) return;
    poll->stop();
    tour->Next();
  });
  QTimer::singleShot(1800, tour, [poll] { poll->start(100); });
}

}  // namespace klangor
