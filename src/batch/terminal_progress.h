#pragma once
// Progress for a terminal: a one-line bar on standard error (only when it is a terminal and
// the bar is wanted), cancelled by Ctrl+C.

#include <chrono>
#include <string>

#include "audio/progress.h"

namespace klangor {

class LTerminalProgress final : public LProgress {
 public:
  explicit LTerminalProgress(bool showBar);
  ~LTerminalProgress() override;

  // Installs the Ctrl+C handler that Cancelled() answers from (once per process).
  static void CatchInterrupt();
  static bool Interrupted();

  void SetTitle(const std::string& title) override;
  void SetProgress(int64_t done, int64_t total) override;
  bool Cancelled() override;
  // Ends the current bar line.
  void Done();

 private:
  void Draw(bool force);

  bool showBar_;
  std::string title_;
  int64_t done_ = 0;
  int64_t total_ = 1;
  int lastPermille_ = -1;
  bool lineOpen_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace klangor
