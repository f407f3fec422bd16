#pragma once
// The widget tests' application on the offscreen platform, with a private home, and waiting
// for a condition while the event loop runs.

#include <QApplication>
#include <chrono>
#include <functional>
#include <thread>

#include "support/test_env.h"

namespace klangor::test {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "klangor_widget_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Playback (also after effects) goes into the virtual device, unpaced.
    ::setenv("KLANGOR_SOUND_OUT", "virtual-fast", 1);
    UsePrivateHome(TempPath("-home"));
    return new QApplication(argc, argv);
  }();
  return *app;
}

inline bool WaitFor(const std::function<bool()>& condition, int ms = 20000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace klangor::test
