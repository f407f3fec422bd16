#pragma once
// The user-interface service with Qt: message boxes, prompts, file dialogs, the dialog forms
// and the progress window. Every call may come from any thread: a call from a worker (a
// decoder's message while a file loads) runs on the user-interface thread and waits there.

#include <functional>

#include "frame/user_interface.h"

class QWidget;

namespace klangor {

class LPreviewPlayer;

class LQtUserInterface final : public LUserInterface {
 public:
  // `owner`: the main window (may be null in tests); `preview` plays the dialogs' previews.
  LQtUserInterface(QWidget* owner, LPreviewPlayer* preview) : owner_(owner), preview_(preview) {}

  LAnswer Message(const std::string& text, const std::string& caption, LButtons buttons, LIcon icon) override;
  std::optional<std::string> PromptText(const std::string& caption, const std::string& label,
                                        const std::string& initial) override;
  bool RunDialog(LDialogModel& model) override;
  std::optional<std::string> ChooseSaveFile(const LSaveFileRequest& request) override;
  std::vector<std::string> ChooseOpenFiles(const LOpenFileRequest& request) override;
  int64_t FreeBytes(const std::string& folder) override;
  LResult RunWithProgress(const std::string& title, const std::function<LResult(LProgress&)>& work) override;

 private:
  QWidget* owner_;
  LPreviewPlayer* preview_;
};

// Runs `call` on the user-interface thread (at once when already there) and waits for it.
void OnUiThread(const std::function<void()>& call);

}  // namespace klangor
