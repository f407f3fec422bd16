#pragma once
// The command-line processor: the editor's own arguments and every forwarded command line.
//
//   -block, -install          ignored
//   -save                     save the active document
//   -saveas PATH              save the active document as PATH (nothing when PATH is missing)
//   -close                    close the active wave window
//   -exit                     close the program
//   -minimize, -maximize, -restore   the main window's state; no start-up window
//   -window W H               the main window's client area becomes W x H (a missing value
//                             keeps the current one); no start-up window
//   -batch [SCRIPT]           the batch processor, or run SCRIPT; processing stops here
//   -list FILE                open every non-empty line of FILE as an audio file; stops here
//   -runedit                  no start-up window
//   anything else             a file: ".klp" opens as a project, other names as audio files;
//                             no start-up window
// Argument 0 is the program and is skipped. The window is brought to the front first.

#include <optional>
#include <string>
#include <vector>

namespace klangor {

// What the processor asks of the main frame.
class LCommandLineActions {
 public:
  virtual ~LCommandLineActions() = default;
  virtual void BringToFront() = 0;
  virtual void SaveActive() = 0;
  virtual void SaveActiveAs(const std::string& path) = 0;
  virtual void CloseActive() = 0;
  virtual void Exit() = 0;
  virtual void Minimize() = 0;
  virtual void Maximize() = 0;
  virtual void Restore() = 0;
  virtual void ResizeClient(std::optional<int> width, std::optional<int> height) = 0;
  // An empty script opens the batch processor.
  virtual void Batch(const std::string& script) = 0;
  virtual void OpenProject(const std::string& path) = 0;
  virtual void OpenAudio(const std::string& path) = 0;
};

// `arguments` with every file name made absolute against `folder` (the sender's current
// folder), so that a command line forwarded to the running instance means the same files.
std::vector<std::string> AbsoluteArguments(std::vector<std::string> arguments, const std::string& folder);

// Processes `arguments` (argument 0 is the program). True when the start-up window should
// show (no argument suppressed it).
bool ProcessCommandLine(const std::vector<std::string>& arguments, LCommandLineActions& actions);

}  // namespace klangor
