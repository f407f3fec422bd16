#pragma once
// What opening a file may ask of the user and of its surroundings: the message boxes, the
// raw format dialog, the progress object of the long steps, and the settings.

#include <cstdint>
#include <functional>
#include <string>

#include "audio/progress.h"
#include "docio/raw_settings.h"
#include "settings/settings_store.h"

namespace klangor {

class LOpenInteraction {
 public:
  virtual ~LOpenInteraction() = default;
  // The message box of opening: no owner, the default caption, an error icon. Shown only
  // while the prompt flag is set.
  virtual void ShowOpenError(const std::string& text) = 0;
  // A decoder's own message: caption "Fehler", warning icon, over the progress window.
  virtual void ShowDecoderMessage(const std::string& text) = 0;
  // The raw format dialog ("LRawDlg") until the user confirms valid fields (true, the record
  // is stored) or cancels (false).
  virtual bool RunRawDialog(LRawDlg& dialog) = 0;
};

// For callers without dialogs (klangor-batch): every message goes to `report`, and the raw
// format dialog keeps the stored record as it is.
class LReportingOpenInteraction final : public LOpenInteraction {
 public:
  explicit LReportingOpenInteraction(std::function<void(const std::string&)> report) : report_(std::move(report)) {}
  void ShowOpenError(const std::string& text) override { report_(text); }
  void ShowDecoderMessage(const std::string& text) override { report_(text); }
  bool RunRawDialog(LRawDlg& /*dialog*/) override { return true; }

 private:
  std::function<void(const std::string&)> report_;
};

// The caller's objects; all of them outlive the open call and the reading of the stream it
// returns (a stream whose decoder still runs asks the progress object whether the user
// cancelled, and reports a decoder that fails later through the interaction).
struct LOpenContext {
  LOpenContext(LSettingsStore& store, LOpenInteraction& ui, LProgress& work)
      : settings(store), interaction(ui), progress(work) {}

  LSettingsStore& settings;
  LOpenInteraction& interaction;
  LProgress& progress;
  std::string temporaryFolder;  // empty: the private temporary folder
  int64_t decoderTimeoutMs = 0;  // above 0: in place of each decoder program's own limit
};

}  // namespace klangor
