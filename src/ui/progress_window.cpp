#include "ui/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "ui/qt_text.h"

namespace klangor {
namespace {

// What the worker reports, read by the window's timer.
class LSharedProgress final : public LProgress {
 public:
  void SetTitle(const std::string& title) override {
    std::lock_guard<std::mutex> guard(mutex_);
    title_ = title;
  }
  void SetStatusLine(const std::string& text) override {
    std::lock_guard<std::mutex> guard(mutex_);
    status_ = text;
  }
  void SetProgress(int64_t done, int64_t total) override {
    percent_ = total <= 0 ? 0 : static_cast<int>(std::clamp<int64_t>(done * 100 / total, 0, 100));
  }
  bool Cancelled() override { return cancelled_; }

  void Cancel() { cancelled_ = true; }
  int Percent() const { return percent_; }
  std::pair<std::string, std::string> Lines() {
    std::lock_guard<std::mutex> guard(mutex_);
    return {title_, status_};
  }

 private:
  std::mutex mutex_;
  std::string title_;
  std::string status_ = "Bitte warten...";
  std::atomic<int> percent_{0};
  std::atomic<bool> cancelled_{false};
};

class LProgressWindow final : public QDialog {
 public:
  LProgressWindow(QWidget* owner, LSharedProgress& progress, const std::string& title)
      : QDialog(owner), progress_(progress) {
    setObjectName(kProgressWindowName);
    setWindowTitle("Klangor");
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    title_ = new QLabel(Q(title), this);
    title_->setObjectName("title");  // item 100
    status_ = new QLabel(this);
    status_->setObjectName("status");  // item 101
    bar_ = new QProgressBar(this);
    bar_->setObjectName("bar");  // item 102
    bar_->setRange(0, 100);
    bar_->setMinimumWidth(340);
    cancel_ = new QPushButton("Abbrechen", this);
    cancel_->setObjectName("cancel");
    layout->addWidget(title_);
    layout->addWidget(status_);
    layout->addWidget(bar_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { Refresh(); });
    timer->start(50);
    Refresh();
  }

  void Refresh() {
    auto [title, status] = progress_.Lines();
    if (!title.empty()) title_->setText(Q(title));
    status_->setText(Q(status));
    bar_->setValue(progress_.Percent());
  }

  // Closing or "Abbrechen" asks the work to stop; the window goes when the work has ended.
  void reject() override {
    progress_.Cancel();
    cancel_->setEnabled(false);
  }
  void Finish() {
    finished_ = true;
    done(QDialog::Accepted);
  }
  void closeEvent(QCloseEvent* event) override {
    if (finished_) return QDialog::closeEvent(event);
    event->ignore();
    reject();
  }

 private:
  LSharedProgress& progress_;
  QLabel* title_;
  QLabel* status_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool finished_ = false;
};

}  // namespace

LResult RunWithProgressWindow(QWidget* owner, const std::string& title,
                              const std::function<LResult(LProgress&)>& work) {
  LSharedProgress progress;
  progress.SetTitle(title);
  LProgressWindow window(owner, progress, title);
  QEventLoop waiting;
  std::atomic<bool> ended{false};
  LResult result = LResult::kFailed;
  std::thread worker([&] {
    result = work(progress);
    ended = true;
    // Wake whichever loop the user-interface thread is in.
    QMetaObject::invokeMethod(&window, [&] {
      waiting.quit();
      window.Finish();
    }, Qt::QueuedConnection);
  });
  // A moment without a window, user input held back meanwhile; then the modal window.
  QTimer::singleShot(kProgressShowDelayMs, &waiting, &QEventLoop::quit);
  waiting.exec(QEventLoop::ExcludeUserInputEvents);
  if (!ended) window.exec();
  worker.join();
  // The queued wake-up may still be pending; it must not run after the window is gone.
  QCoreApplication::removePostedEvents(&window);
  return result;
}

}  // namespace klangor
