#pragma once
// The editor's start: the single instance, the working folder and the recovery of unsaved
// work, the main window, the command line, the event loop.

namespace klangor {

// Runs the editor; returns the exit status (0, or 3 without a display).
int RunEditor(int argc, char** argv);

}  // namespace klangor
