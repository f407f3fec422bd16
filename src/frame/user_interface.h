#pragma once
// The user-interface service: everything a command may ask of the user. The Qt main window
// implements it with real dialogs; LHeadlessUi (app/headless_ui.h) answers from a script.
// Commands never reach into widgets: they ask this service and work on the frame model.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"

namespace klangor {

enum class LButtons { kOk, kOkCancel, kYesNo, kYesNoCancel, kRetryCancel };
enum class LIcon { kNone, kInformation, kWarning, kError, kQuestion };
enum class LAnswer { kOk, kCancel, kYes, kNo, kRetry };

// A dialog's fields, presets, ranges and messages, without any widget. Each dialog derives
// from it; the Qt form shows the model and writes the user's entries back into it.
class LDialogModel {
 public:
  virtual ~LDialogModel() = default;
  virtual std::string Title() const = 0;
  // Checks the fields when the user confirms: an empty text accepts, any other text is the
  // message to show, and the dialog stays open.
  virtual std::string Validate() { return {}; }
};

// One entry of a file dialog's type list: the text it shows and its patterns ("*.aif;*.aiff").
struct LFileFilter {
  std::string name;
  std::string patterns;
};

struct LSaveFileRequest {
  std::string title;
  std::string filter;            // e.g. "Wave (*.wav)", when `filters` is empty
  std::string defaultExtension;  // without the dot
  std::string folder;            // where the dialog starts
  std::vector<LFileFilter> filters{};  // the type list (the entry `selectedFilter` preselected)
  int selectedFilter = 0;
};

struct LOpenFileRequest {
  std::string title;
  std::vector<LFileFilter> filters;  // the first entry is preselected
  std::string defaultExtension;      // without the dot
  std::string folder;                // where the dialog starts
  bool multiple = true;              // more than one file may be chosen
};

class LUserInterface {
 public:
  virtual ~LUserInterface() = default;

  virtual LAnswer Message(const std::string& text, const std::string& caption, LButtons buttons,
                          LIcon icon) = 0;
  // A line of text; nothing when the user cancelled.
  virtual std::optional<std::string> PromptText(const std::string& caption, const std::string& label,
                                                const std::string& initial) = 0;
  // Shows the dialog of `model` until the user confirms with fields that validate (true) or
  // cancels (false).
  virtual bool RunDialog(LDialogModel& model) = 0;
  // The save-file dialog; the chosen path, or nothing when cancelled.
  virtual std::optional<std::string> ChooseSaveFile(const LSaveFileRequest& request) = 0;
  // The open-file dialog: the chosen existing files, none when cancelled.
  virtual std::vector<std::string> ChooseOpenFiles(const LOpenFileRequest& request) = 0;
  // Bytes free for the user on the file system of `folder`; -1 when unknown.
  virtual int64_t FreeBytes(const std::string& folder) = 0;
  // Runs a long operation under the progress window (the user can cancel it there).
  virtual LResult RunWithProgress(const std::string& title,
                                  const std::function<LResult(LProgress&)>& work) = 0;
};

}  // namespace klangor
