#pragma once
// What a long operation reports to and asks of the user while it runs: a title line, a
// status line, how far it has come, and whether the user has cancelled. Cancelled() is also
// where an interactive implementation keeps its user interface alive, so long operations ask
// it once per piece of work.

#include <cstdint>
#include <string>

namespace klangor {

class LProgress {
 public:
  virtual ~LProgress() = default;
  virtual void SetTitle(const std::string& /*title*/) {}
  virtual void SetStatusLine(const std::string& /*text*/) {}
  virtual void SetProgress(int64_t /*done*/, int64_t /*total*/) {}
  virtual bool Cancelled() = 0;
};

// For work that nobody watches: never cancelled, reports nothing.
class LSilentProgress final : public LProgress {
 public:
  bool Cancelled() override { return false; }
};

}  // namespace klangor
