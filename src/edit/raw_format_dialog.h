#pragma once
// The raw format dialog (docio/raw_settings.h `LRawDlg`) as a dialog model, for opening and
// saving headerless files alike: confirming runs the dialog's OK, which checks the rate and
// stores the record under its key.

#include <string>

#include "docio/raw_settings.h"
#include "frame/user_interface.h"

namespace klangor {

class LRawFormatDialog final : public LDialogModel {
 public:
  static constexpr char kTitle[] = "Raw Audio Format";
  static constexpr char kEncodingLabel[] = "Kodierung:";
  static constexpr char kRateLabel[] = "Samplerate (Hz):";
  static constexpr char kChannelsLabel[] = "Kanäle:";

  // Both are held by reference: the caller keeps them alive while the dialog runs.
  LRawFormatDialog(LRawDlg& dialog, LSettingsStore& settings) : dialog_(dialog), settings_(settings) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override { return dialog_.Ok(settings_); }

  LRawDlg& Fields() { return dialog_; }

 private:
  LRawDlg& dialog_;
  LSettingsStore& settings_;
};

}  // namespace klangor
