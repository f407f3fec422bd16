#pragma once
// A user-interface service for tests and for running commands without a display: it answers
// from a script and records what was shown.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "frame/user_interface.h"

namespace klangor {

class LHeadlessUi : public LUserInterface {
 public:
  struct LShownMessage {
    std::string text;
    std::string caption;
    LButtons buttons;
    LIcon icon;
  };

  // What was shown, in order.
  std::vector<LShownMessage> messages;
  std::vector<std::string> dialogTitles;
  std::vector<LSaveFileRequest> saveRequests;
  std::vector<LOpenFileRequest> openRequests;

  // The next answers to messages; when none is left, the first button (OK or Yes).
  std::deque<LAnswer> answers;
  // The next text prompts' answers; when none is left, the initial text.
  std::deque<std::optional<std::string>> prompts;
  // Scripts for the next dialogs: each gets the model, may change its fields, and returns
  // whether the user pressed OK. When none is left, OK with the fields as they are. A
  // dialog whose fields do not validate is cancelled (its message is recorded).
  std::deque<std::function<bool(LDialogModel&)>> dialogs;
  // The next save-dialog answers; when none is left, cancel.
  std::deque<std::optional<std::string>> saveFiles;
  // The next open-dialog answers; when none is left, cancel.
  std::deque<std::vector<std::string>> openFiles;
  int64_t freeBytes = int64_t{16} << 30;
  // Progress: cancel when asked for the (n+1)-th time; never when below 0.
  int cancelAtQuestion = -1;

  LAnswer Message(const std::string& text, const std::string& caption, LButtons buttons,
                  LIcon icon) override;
  std::optional<std::string> PromptText(const std::string& caption, const std::string& label,
                                        const std::string& initial) override;
  bool RunDialog(LDialogModel& model) override;
  std::optional<std::string> ChooseSaveFile(const LSaveFileRequest& request) override;
  std::vector<std::string> ChooseOpenFiles(const LOpenFileRequest& request) override;
  int64_t FreeBytes(const std::string& folder) override;
  LResult RunWithProgress(const std::string& title,
                          const std::function<LResult(LProgress&)>& work) override;
};

}  // namespace klangor
