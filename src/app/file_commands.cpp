#include "app/file_commands.h"

#include <ctime>

#include "app/recent_files.h"
#include "docio/load_save.h"
#include "docio/raw_settings.h"
#include "edit/edit_commands.h"
#include "edit/raw_format_dialog.h"
#include "edit/save_sound.h"
#include "formats/format_table.h"
#include "formats/open_messages.h"
#include "frame/command_steps.h"
#include "frame/edit_frame.h"
#include "frame/menu_layout.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

constexpr char kCaption[] = "Klangor";
constexpr char kSaveProgressTitle[] = "Speichere Datei...";

std::string Replace(std::string text, const std::string& value) {
  const size_t at = text.find("%s");
  return at == std::string::npos ? text : text.replace(at, 2, value);
}

std::string SavedSpaceMessage(const std::string& file) {
  return "Die Datei \"" + file +
         "\" wurde eventuell nicht gespeichert, da zu wenig freier Speicherplatz vorhanden ist. Bitte versuchen "
         "Sie die Datei an einem anderen Ort zu speichern oder löschen Sie alte Dateien und versuche Sie es dann "
         "erneut.";
}

// True when at least 3 MB are free in `folder` (plenty is assumed when it cannot be measured);
// otherwise shows `message` and gives false.
bool EnoughSpace(LCommandContext& context, const std::string& folder, const std::string& message) {
  int64_t bytes = context.ui.FreeBytes(folder);
  if (bytes < 0) bytes = int64_t{16777216} * 1024;
  if (static_cast<double>(bytes / 1024) / 1024.0 >= 3.0) return true;
  context.ui.Message(message, kLowSpaceCaption, LButtons::kOk, LIcon::kInformation);
  return false;
}

void Remember(LCommandContext& context, const std::string& path) {
  AddRecentFile(context.settings, path, static_cast<int64_t>(std::time(nullptr)));
}

// "Unbenannt n" with the smallest n of 1..19 that no open window uses (1 when all are).
std::string UntitledName(const LFrameModel& frame) {
  for (int n = 1; n <= 19; ++n) {
    const std::string name = "Unbenannt " + std::to_string(n);
    bool used = false;
    for (const LRef<LSoundDocument>& open : frame.Documents()) used = used || DocumentName(*open) == name;
    if (!used) return name;
  }
  return "Unbenannt 1";
}

void NewCommand(LCommandContext& context) {
  context.frame.StopPlayback();
  int32_t rate = context.settings.Read(kDefaultSampleRate);
  int32_t channels = context.settings.Read(kDefaultChannels);
  if (context.settings.Read(kPromptSampleAndChannels)) {
    LNewFileDialog dialog(context.settings.Read(kSelectedSampleRate), context.settings.Read(kSelectedChannels));
    if (!context.ui.RunDialog(dialog)) return;
    context.settings.Write(kSelectedSampleRate, dialog.sampleRate);
    context.settings.Write(kSelectedChannels, dialog.channels);
    rate = dialog.sampleRate;
    channels = dialog.channels;
  }
  auto document = MakeRef<LSoundDocument>();
  document->sound.SetFormat(rate > 0 ? rate : 44100, channels == 2 ? 2 : 1);
  document->name = UntitledName(context.frame);
  document->LengthChanged();
  context.frame.OpenDocument(document);
  context.frame.RefreshBars();
}

void OpenCommand(LCommandContext& context) {
  context.frame.StopPlayback();
  LOpenFileRequest request{kOpenDialogTitle, OpenFileFilters(), "wav", context.settings.Read(kOpenFileDir)};
  const std::vector<std::string> files = context.ui.ChooseOpenFiles(request);
  if (files.empty()) return;
  context.settings.Write(kOpenFileDir, FolderOf(files.front()));
  bool prompt = true;
  for (const std::string& file : files) OpenAudioDocument(context, file, &prompt);
}

void SaveCommand(LCommandContext& context) {
  if (LSoundDocument* document = ActiveDocument(context)) SaveDocument(context, *document);
}

void SaveAsCommand(LCommandContext& context) {
  if (LSoundDocument* document = ActiveDocument(context)) SaveDocumentWithDialog(context, *document);
}

void CloseCommand(LCommandContext& context) {
  if (LSoundDocument* document = ActiveDocument(context)) CloseDocumentAsking(context, *document);
}

void OpenRecent(LCommandContext& context, int slot) {
  const std::string path = context.settings.Read(kRecentFile[slot - 1]);
  if (path.empty()) return;
  context.frame.StopPlayback();
  bool prompt = true;
  OpenAudioDocument(context, path, &prompt);
}

}  // namespace

const std::vector<LFileFilter>& OpenFileFilters() {
  static const std::vector<LFileFilter> filters = {
      {"All Files", "*.*"},
      {"Audio Files",
       "*.wav;*.mp3;*.ogg;*.wma;*.aif;*.aiff;*.au;*.ra;*.ram;*.flac;*.aac;*.gsm;*.vox;*.raw;*.dss;*.dct;*.m4a;"
       "*.mp2;*.sri;*.mpga;*.msv;*.dvf;*.act;*.rcd;*.rec;*.shn;*.amr"},
      {"Video Files (*.avi, *.mpg, *.mpeg, *.wmv)", "*.avi;*.mpg;*.mpeg;*.wmv"},
      {"Wave Files (*.wav)", "*.wav"},
      {"MPEG Layer-3 Files (*.mp3, *.mp2, *.mpga)", "*.mp3;*.mp2;*.mpga"},
      {"Ogg Vorbis Files (*.ogg)", "*.ogg"},
      {"Windows Media Audio Files (*.wma)", "*.wma"},
      {"Apple AIFF Files (*.aif, *.aiff)", "*.aif;*.aiff"},
      {"Sun AU Files (*.au)", "*.au"},
      {"Real Audio Files (*.ra, *.ram, *.rm, *.rmj)", "*.ra;*.ram;*.rm;*.rmj"},
      {"FLAC Files (*.flac)", "*.flac"},
      {"AAC Files (*.aac, *.m4a)", "*.aac;*.m4a"},
      {"GSM Files (*.gsm)", "*.gsm"},
      {"Dialogic Vox Files (*.vox)", "*.vox"},
      {"Raw Audio Files (*.raw)", "*.raw"},
      {"DSS Files (*.dss)", "*.dss"},
      {"VoiceIt Files (*.sri)", "*.sri"},
      {"Dictation Files (*.dct)", "*.dct"},
      {"Record Files (*.act, *.rcd, *.rec)", "*.act;*.rcd;*.rec"},
      {"Shorten Files (*.shn)", "*.shn"},
      {"AMR Narrowband Audio Files (*.amr)", "*.amr"},
      {"Windows Media Video Files (*.wmv)", "*.wmv"},
      {"MPEG Video Files (*.mpg, *.mpeg)", "*.mpg;*.mpeg"},
      {"Audio Video Interleave Files (*.avi)", "*.avi"},
  };
  return filters;
}

const std::vector<LFileFilter>& SaveFileFilters() {
  static const std::vector<LFileFilter> filters = {
      {"Wave (*.wav)", "*.wav"},
      {"MPEG Layer-3 (*.mp3)", "*.mp3"},
      {"Ogg Vorbis (*.ogg)", "*.ogg"},
      {"Apple AIFF(*.aif, *.aiff)", "*.aif;*.aiff"},
      {"Sun AU (*.au)", "*.au"},
      {"FLAC (*.flac)", "*.flac"},
      {"AAC (*.aac)", "*.aac"},
      {"MPEG-4 Audio (*.m4a)", "*.m4a"},
      {"GSM (*.gsm)", "*.gsm"},
      {"Dialogic Vox (*.vox)", "*.vox"},
      {"Raw Audio (*.raw)", "*.raw"},
      {"RSS Podcast Audio (*.rss)", "*.rss"},
      {"M3U Playlist File (*.m3u)", "*.m3u"},
      {"PLS Playlist File (*.pls)", "*.pls"},
      {"WPL Playlist File (*.wpl)", "*.wpl"},
      {"AMR Narrowband Audio (*.amr)", "*.amr"},
  };
  return filters;
}

std::string DocumentName(const LSoundDocument& document) {
  return document.fileName.empty() ? document.name : FileNameOf(document.fileName);
}

const std::vector<int32_t>& LNewFileDialog::CommonRates() {
  static const std::vector<int32_t> rates = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000};
  return rates;
}

std::string LNewFileDialog::Validate() {
  if (sampleRate < 6000 || sampleRate > 96000) return kRateMessage;
  if (channels != 2) channels = 1;
  return {};
}

namespace {

// Opening's questions and messages through the user-interface service.
class LFrameOpenInteraction final : public LOpenInteraction {
 public:
  LFrameOpenInteraction(LUserInterface& ui, LSettingsStore& settings) : ui_(ui), settings_(settings) {}
  void ShowOpenError(const std::string& text) override { ui_.Message(text, kCaption, LButtons::kOk, LIcon::kError); }
  void ShowDecoderMessage(const std::string& text) override {
    ui_.Message(text, "Fehler", LButtons::kOk, LIcon::kWarning);
  }
  bool RunRawDialog(LRawDlg& dialog) override {
    LRawFormatDialog model(dialog, settings_);
    return ui_.RunDialog(model);
  }

 private:
  LUserInterface& ui_;
  LSettingsStore& settings_;
};

}  // namespace

bool OpenAudioDocument(LCommandContext& context, const std::string& path, bool* prompt) {
  bool noPrompt = false;
  bool& asking = prompt != nullptr ? *prompt : noPrompt;
  if (IsFolder(path)) {
    if (asking) {
      asking = false;
      context.ui.Message(AccessFileMessage(path), kCaption, LButtons::kOk, LIcon::kError);
    }
    return false;
  }
  auto document = MakeRef<LSoundDocument>();
  LFrameOpenInteraction interaction(context.ui, context.settings);
  const LResult result = context.ui.RunWithProgress("Lade Datei " + FileNameOf(path), [&](LProgress& progress) {
    LOpenContext open(context.settings, interaction, progress);
    return LoadAudioFile(path, asking, open, *document);
  });
  if (result != LResult::kDone) return false;
  document->LengthChanged();
  ShowAll(*document);
  context.frame.OpenDocument(document);
  Remember(context, path);
  context.frame.RefreshBars();
  if (context.settings.Read(kPlayWhenOpen)) context.frame.Player().Play(*document, 0);
  if (context.settings.Read(kAutoArrangeWindows)) context.frame.ArrangeWindows();
  return true;
}

bool SaveDocumentAs(LCommandContext& context, LSoundDocument& document, const std::string& path, bool showOptions) {
  context.frame.StopPlayback();
  if (!EnoughSpace(context, FolderOf(path), NoSpaceToSaveMessage(path))) return false;
  if (SaveSoundAs(context, document.sound, path, document.tags, showOptions) != LResult::kDone) return false;
  document.fileName = path;
  Remember(context, path);
  context.frame.RefreshBars();
  if (!EnoughSpace(context, FolderOf(path), SavedSpaceMessage(path))) return false;
  document.modified = false;
  context.frame.EnableSave(false);
  context.frame.RefreshBars();
  return true;
}

bool SaveDocumentWithDialog(LCommandContext& context, LSoundDocument& document) {
  context.frame.StopPlayback();
  const std::vector<LFileFilter>& filters = SaveFileFilters();
  for (;;) {
    const std::string format = context.settings.Read(kSaveAsFormat);
    LSaveFileRequest request{kSaveAsDialogTitle, "", format.empty() ? "wav" : format,
                             context.settings.Read(kSaveAsDir), filters};
    for (size_t i = 0; i < filters.size(); ++i) {
      if (filters[i].patterns.find("*." + request.defaultExtension) != std::string::npos) {
        request.selectedFilter = static_cast<int>(i);
        break;
      }
    }
    std::optional<std::string> chosen = context.ui.ChooseSaveFile(request);
    if (!chosen) return false;
    context.settings.Write(kSaveAsDir, FolderOf(*chosen));
    if (!LowerExtension(*chosen).empty()) context.settings.Write(kSaveAsFormat, LowerExtension(*chosen));
    if (FileExists(*chosen)) {
      const LAnswer answer =
          context.ui.Message(kReplaceFileQuestion, kCaption, LButtons::kYesNoCancel, LIcon::kQuestion);
      if (answer == LAnswer::kCancel) return false;
      if (answer == LAnswer::kNo) continue;
    }
    return SaveDocumentAs(context, document, *chosen, true);
  }
}

bool SaveDocument(LCommandContext& context, LSoundDocument& document) {
  if (document.fileName.empty()) return SaveDocumentWithDialog(context, document);
  const std::string extension = LowerExtension(document.fileName);
  if (extension == "ra" || extension == "ram" || extension == "rm") {
    if (context.ui.Message(kRealAudioSaveQuestion, kCaption, LButtons::kYesNo, LIcon::kQuestion) != LAnswer::kYes) {
      return false;
    }
    return SaveDocumentWithDialog(context, document);
  }
  return SaveDocumentAs(context, document, document.fileName);
}

bool CloseDocumentAsking(LCommandContext& context, LSoundDocument& document) {
  context.frame.StopPlayback();
  LRef<LSoundDocument> keep(&document);
  context.frame.Activate(document);
  if (document.modified || document.fileName.empty()) {
    const LAnswer answer = context.ui.Message(Replace(kCloseQuestion, DocumentName(document)), kCaption,
                                              LButtons::kYesNoCancel, LIcon::kQuestion);
    if (answer == LAnswer::kCancel) return false;
    // A save that did not happen keeps the window: closing it would lose the work.
    if (answer == LAnswer::kYes && !SaveDocument(context, document)) return false;
  }
  if (!document.fileName.empty()) Remember(context, document.fileName);
  context.frame.CloseDocument(document);
  context.frame.RefreshBars();
  return true;
}

bool CloseAllDocuments(LCommandContext& context) {
  const std::vector<LRef<LSoundDocument>> open = context.frame.Documents();
  for (const LRef<LSoundDocument>& document : open) {
    if (!CloseDocumentAsking(context, *document)) return false;
  }
  return true;
}

void AddFileCommands(LCommandTable& table) {
  table.Add({kCmdNew, "&Neu...", NewCommand});
  table.Add({kCmdOpen, "&Öffnen...", OpenCommand});
  table.Add({kCmdClose, "Schliessen", CloseCommand});
  table.Add({kCmdSave, "&Speichern", SaveCommand});
  table.Add({kCmdSaveAs, "Speichern &Als...", SaveAsCommand});
  table.Add({kCmdCloseAll, "Alles schliessen", [](LCommandContext& context) { CloseAllDocuments(context); }});
  table.Add({kCmdArrange, "Übereinander", [](LCommandContext& context) { context.frame.ArrangeWindows(); }});
  table.Add({kCmdUndo, "Rückgängig", [](LCommandContext& context) { UndoCommand(context.frame); }});
  table.Add({kCmdRedo, "Wiederholen", [](LCommandContext& context) { RedoCommand(context.frame); }});
  for (int slot = 1; slot <= kRecentFileSlots; ++slot) {
    table.Add({RecentCommand(slot), "", [slot](LCommandContext& context) { OpenRecent(context, slot); }});
  }
}

}  // namespace klangor
