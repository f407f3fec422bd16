#pragma once
// The frame's own commands of the "Datei", "Bearbeiten" and "Fenster" menus that work on the
// frame model alone: new, open, close, save, save as, the recent files, undo, redo, close all
// and the arrangement after opening; and the frame operation behind them that opens a file in
// a new wave window.

#include <cstdint>
#include <string>
#include <vector>

#include "frame/command_table.h"
#include "frame/user_interface.h"

namespace klangor {

inline constexpr char kOpenDialogTitle[] = "Audiodatei öffnen";
inline constexpr char kSaveAsDialogTitle[] = "Audiodatei speichern als";
inline constexpr char kCloseQuestion[] = "Speichere Änderungen in \"%s\"?";
inline constexpr char kRealAudioSaveQuestion[] =
    "Speichern im real audio Dateiformat wird nicht unterstützt. Möchten sie stattdessen in einem anderen "
    "Format speichern (wav, mp3, gsm, vox)?";

// The type lists of the open and the save-as dialogs.
const std::vector<LFileFilter>& OpenFileFilters();
const std::vector<LFileFilter>& SaveFileFilters();

// The name windows and questions use: the file's name, or the name of a new sound.
std::string DocumentName(const LSoundDocument& document);

// "Neue Datei": the sample rate and channel count of a new sound.
class LNewFileDialog final : public LDialogModel {
 public:
  static constexpr char kTitle[] = "Neue Datei";
  static constexpr char kRateMessage[] = "Samplerate muss zwischen 6000 und 96000 Samples pro Sekunde liegen.";
  static const std::vector<int32_t>& CommonRates();

  LNewFileDialog(int32_t rate, int32_t channelCount) : sampleRate(rate), channels(channelCount) {}
  std::string Title() const override { return kTitle; }
  std::string Validate() override;

  int32_t sampleRate;
  int32_t channels;  // 1 or 2
};

// Opens `path` in a new wave window: reads it under the progress window, enters it in the
// recent files, plays it when "PlayWhenOpen" is set and arranges the windows when
// "AutoArrangeWindows" is set. A file that cannot be opened gets its message while `*prompt`
// is set (which clears it), so a run of many files reports once. False when nothing opened.
bool OpenAudioDocument(LCommandContext& context, const std::string& path, bool* prompt);

// Saves `document` as `path` (checking the free space before and after); true when saved.
bool SaveDocumentAs(LCommandContext& context, LSoundDocument& document, const std::string& path,
                    bool showOptions = false);
// "Speichern" and "Speichern Als..." of `document`; true when it was saved.
bool SaveDocument(LCommandContext& context, LSoundDocument& document);
bool SaveDocumentWithDialog(LCommandContext& context, LSoundDocument& document);

// Closes the window of `document`, asking first when it holds unsaved work; false when the
// user cancelled (or the save he asked for did not happen): the window stays.
bool CloseDocumentAsking(LCommandContext& context, LSoundDocument& document);
// "Alles schliessen": asks for every window in turn; false at the first cancel.
bool CloseAllDocuments(LCommandContext& context);

void AddFileCommands(LCommandTable& table);

}  // namespace klangor
