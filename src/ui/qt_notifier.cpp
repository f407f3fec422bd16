#include "ui/qt_notifier.h"

#include <QMetaObject>
#include <QObject>
#include <atomic>

namespace klangor {
namespace {

class LQtChannel final : public LNotifyChannel {
 public:
  explicit LQtChannel(std::function<void()> handler) : handler_(std::move(handler)) {}
  void Post() override {
    if (queued_.exchange(true)) return;  // one call serves every post before it runs
    QMetaObject::invokeMethod(
        &context_,
        [this] {
          queued_.store(false);
          std::function<void()> handler = handler_;  // the handler may destroy the channel
          handler();
        },
        Qt::QueuedConnection);
  }

 private:
  QObject context_;  // its queued calls die with it
  std::function<void()> handler_;
  std::atomic<bool> queued_{false};
};

}  // namespace

std::unique_ptr<LNotifyChannel> LQtNotifier::OpenChannel(std::function<void()> handler) {
  return std::make_unique<LQtChannel>(std::move(handler));
}

}  // namespace klangor
