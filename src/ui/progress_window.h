#pragma once
// The progress window ("LProgressDialog"): a long operation runs on a worker thread while the
// window shows its title line, its status line ("Bitte warten...") and a bar from 0 to 100, and
// the user-interface thread keeps painting. Cancel ("Abbrechen" or closing the window) is seen
// by the work at its next question, at once. The window appears only when the work takes
// longer than a moment; until then user input waits, so no other command can start.

#include <functional>
#include <string>

#include "audio/progress.h"
#include "audio/result.h"

class QWidget;

namespace klangor {

inline constexpr char kProgressWindowName[] = "LProgressDialog";
inline constexpr int kProgressShowDelayMs = 250;

// Runs `work` on a worker thread under the progress window owned by `owner`; returns what
// the work returned. Called on the user-interface thread.
LResult RunWithProgressWindow(QWidget* owner, const std::string& title,
                              const std::function<LResult(LProgress&)>& work);

}  // namespace klangor
