#include "batch/terminal_progress.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace klangor {
namespace {

std::atomic<bool> gInterrupted{false};

void OnInterrupt(int /*signal*/) { gInterrupted.store(true); }

}  // namespace

LTerminalProgress::LTerminalProgress(bool showBar) : showBar_(showBar && ::isatty(2) == 1) {}

LTerminalProgress::~LTerminalProgress() { Done(); }

void LTerminalProgress::CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool LTerminalProgress::Interrupted() { return gInterrupted.load(); }

void LTerminalProgress::SetTitle(const std::string& title) {
  Done();
  title_ = title;
  lastPermille_ = -1;
}

void LTerminalProgress::SetProgress(int64_t done, int64_t total) {
  done_ = done;
  total_ = total > 0 ? total : 1;
  Draw(false);
}

bool LTerminalProgress::Cancelled() { return Interrupted(); }

void LTerminalProgress::Draw(bool force) {
  if (!showBar_) return;
  int permille = static_cast<int>(1000 * done_ / total_);
  auto now = std::chrono::steady_clock::now();
  if (!force && (permille == lastPermille_ || now - lastDraw_ < std::chrono::milliseconds(100)) &&
      permille < 1000) {
    return;
  }
  lastPermille_ = permille;
  lastDraw_ = now;
  constexpr int kWidth = 30;
  int filled = permille * kWidth / 1000;
  std::fprintf(stderr, "\r%-40.40s [%.*s%*s] %3d%%", title_.c_str(), filled,
               "##############################", kWidth - filled, "", permille / 10);
  std::fflush(stderr);
  lineOpen_ = true;
}

void LTerminalProgress::Done() {
  if (lineOpen_) {
    Draw(true);
    std::fputc('\n', stderr);
    lineOpen_ = false;
  }
}

}  // namespace klangor
