#include "frame/headless_ui.h"

namespace klangor {
namespace {

class LScriptedProgress final : public LProgress {
 public:
  explicit LScriptedProgress(int cancelAt) : left_(cancelAt) {}
  bool Cancelled() override { return left_ >= 0 && left_-- == 0; }

 private:
  int left_;
};

}  // namespace

LAnswer LHeadlessUi::Message(const std::string& text, const std::string& caption, LButtons buttons,
                             LIcon icon) {
  messages.push_back({text, caption, buttons, icon});
  if (!answers.empty()) {
    LAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return buttons == LButtons::kYesNo || buttons == LButtons::kYesNoCancel ? LAnswer::kYes : LAnswer::kOk;
}

std::optional<std::string> LHeadlessUi::PromptText(const std::string& /*caption*/,
                                                   const std::string& /*label*/,
                                                   const std::string& initial) {
  if (prompts.empty()) return initial;
  std::optional<std::string> answer = prompts.front();
  prompts.pop_front();
  return answer;
}

bool LHeadlessUi::RunDialog(LDialogModel& model) {
  dialogTitles.push_back(model.Title());
  bool confirmed = true;
  if (!dialogs.empty()) {
    auto script = dialogs.front();
    dialogs.pop_front();
    confirmed = script(model);
  }
  if (!confirmed) return false;
  std::string problem = model.Validate();
  if (!problem.empty()) {
    messages.push_back({problem, model.Title(), LButtons::kOk, LIcon::kError});
    return false;
  }
  return true;
}

std::optional<std::string> LHeadlessUi::ChooseSaveFile(const LSaveFileRequest& request) {
  saveRequests.push_back(request);
  if (saveFiles.empty()) return std::nullopt;
  std::optional<std::string> answer = saveFiles.front();
  saveFiles.pop_front();
  return answer;
}

std::vector<std::string> LHeadlessUi::ChooseOpenFiles(const LOpenFileRequest& request) {
  openRequests.push_back(request);
  if (openFiles.empty()) return {};
  std::vector<std::string> answer = openFiles.front();
  openFiles.pop_front();
  return answer;
}

int64_t LHeadlessUi::FreeBytes(const std::string& /*folder*/) { return freeBytes; }

LResult LHeadlessUi::RunWithProgress(const std::string& /*title*/,
                                     const std::function<LResult(LProgress&)>& work) {
  LScriptedProgress progress(cancelAtQuestion);
  return work(progress);
}

}  // namespace klangor
