#include "edit/edit_commands.h"

#include <algorithm>

#include "audio/time_units.h"
#include "edit/auto_split.h"
#include "edit/auto_trim.h"
#include "edit/edit_dialogs.h"
#include "edit/save_sound.h"
#include "formats/format_table.h"
#include "formats/open_messages.h"
#include "frame/command_steps.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "store/range_process.h"
#include "store/segment_stream.h"
#include "store/undo.h"

namespace klangor {
namespace {

int32_t OneSecond(const LSoundDocument& document) { return document.sound.SampleRate(); }

// A new document holding `sound`, opened in its own wave window.
void OpenInNewWindow(LCommandContext& context, LSegmentList sound) {
  auto copy = MakeRef<LSoundDocument>();
  copy->sound = std::move(sound);
  copy->modified = true;  // audio that exists in no file yet
  copy->LengthChanged();
  ShowAll(*copy);
  context.frame.OpenDocument(copy);
}

void Delete(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr || !document->HasSelection()) return;
  context.frame.StopPlayback();
  BeginEdit(context.frame, "Löschen");
  document->ClampSelection();
  const int32_t start = document->selectionStart;
  document->sound.DeleteRange(start, document->selectionEnd);
  document->SetSelection(start, start, start);
  FinishEdit(context, "Löschen", start, OneSecond(*document));
}

void SelectAll(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  document->SetSelection(0, document->Length(), document->cursor);
  ShowAll(*document);
  context.frame.RedrawActiveDocument();
}

void SelectToStart(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  document->SetSelection(0, document->cursor, document->cursor);
  context.frame.RedrawActiveDocument();
}

void SelectToEnd(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  document->SetSelection(document->cursor, document->Length(), document->cursor);
  context.frame.RedrawActiveDocument();
}

void SelectRange(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  LFrameModel& frame = context.frame;
  LRangeDialog dialog(
      LRef<LSoundDocument>(document), [&frame] { frame.RedrawActiveDocument(); },
      [&frame](const LSegmentList& piece) {
        auto preview = MakeRef<LSoundDocument>();
        preview->sound = piece;
        frame.Player().Play(*preview, 0);
      });
  if (context.ui.RunDialog(dialog)) dialog.Apply();
}

void SelectMarks(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  const bool wasPlaying = context.frame.Player().IsPlaying();
  context.frame.StopPlayback();
  document->selectionStart = std::min(document->firstMark, document->secondMark);
  document->selectionEnd = std::max(document->firstMark, document->secondMark);
  document->cursor = document->firstMark;
  context.frame.RedrawActiveDocument();
  if (wasPlaying) context.frame.Player().Play(*document, document->cursor);
}

void MarkFirst(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  document->firstMark = document->cursor;
  SelectMarks(context);
}

void MarkSecond(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  document->secondMark = document->cursor;
  SelectMarks(context);
}

// Trimming commands end with the cursor at 0 and the whole sound in view.
void FinishTrim(LCommandContext& context, LSoundDocument& document, const std::string& name) {
  document.cursor = 0;
  document.LengthChanged();
  ShowAll(document);
  FinishEdit(context, name, 0, 0);
}

void Trim(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  SelectAllIfNone(*document);
  context.frame.StopPlayback();
  const std::string name = "Trimmem";
  BeginEdit(context.frame, name);
  document->ClampSelection();
  document->sound.Crop(document->selectionStart, document->selectionEnd);
  document->SetSelection(0, 0, 0);
  FinishTrim(context, *document, name);
}

void TrimStart(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  const std::string name = "Anfang trimmen";
  BeginEdit(context.frame, name);
  document->sound.TrimStart(document->selectionStart);
  FinishTrim(context, *document, name);
}

void TrimEnd(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  const std::string name = "Ende trimmen";
  BeginEdit(context.frame, name);
  document->sound.TrimEnd(document->selectionEnd);
  FinishTrim(context, *document, name);
}

void AutoTrim(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  BeginEdit(context.frame, kAutoTrimUndoName);
  const int32_t threshold = context.settings.Read(kAutoTrimThreshold);
  const LResult result = context.ui.RunWithProgress(
      kAutoTrimTitle, [&](LProgress& progress) { return RunAutoTrim(*document, threshold, progress); });
  if (result == LResult::kDone) FinishTrim(context, *document, kAutoTrimUndoName);
}

void SilenceSelection(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  const std::string name = "Stille bearbeiten";
  BeginEdit(context.frame, name);
  document->ClampSelection();
  const int32_t start = document->selectionStart;
  const int32_t end = document->selectionEnd;
  document->sound.DeleteRange(start, end);
  document->sound.InsertSilence(start, end - start);
  FinishEdit(context, name, start, OneSecond(*document));
}

enum class LSilencePlace { kStart, kCursor, kEnd };

void InsertSilence(LCommandContext& context, LSilencePlace place) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  LSilenceDialog dialog(context.settings.Read(kSilenceTimes));
  if (!context.ui.RunDialog(dialog)) return;
  const int32_t ms = dialog.LengthMs();
  context.settings.Write(kSilenceTimes, ms);
  const char* name = place == LSilencePlace::kStart    ? "Stille am Anfang einfügen"
                     : place == LSilencePlace::kCursor ? "Stille in der aktuellen Position einfügen"
                                                       : "Stille am Ende einfügen";
  BeginEdit(context.frame, name);
  const int32_t at = place == LSilencePlace::kStart    ? 0
                     : place == LSilencePlace::kCursor ? document->cursor
                                                       : document->Length();
  const int64_t frames = MsToFrames(ms, document->sound.SampleRate());
  document->sound.InsertSilence(at, static_cast<int32_t>(std::clamp<int64_t>(frames, INT32_MIN, INT32_MAX)));
  FinishEdit(context, name, document->selectionStart, OneSecond(*document));
}

void LoopRepeat(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  SelectAllIfNone(*document);
  LRepeatDialog dialog(context.settings.Read(kRepeatNumTimes));
  if (!context.ui.RunDialog(dialog)) return;
  const int32_t count = dialog.Count();
  context.settings.Write(kRepeatNumTimes, count);
  const std::string name = "Loop wiederholen";
  BeginEdit(context.frame, name);
  document->ClampSelection();
  const int32_t start = document->selectionStart;
  const int32_t end = document->selectionEnd;
  // Only a full disk can make it fail (for very many copies of a short range); the sound then
  // stays as it was.
  if (RepeatRangeCompact(document->sound, start, end, count) != LResult::kDone) {
    context.frame.RedrawActiveDocument();
    context.ui.Message(LowSpaceMessage(name), kLowSpaceCaption, LButtons::kOk, LIcon::kInformation);
    return;
  }
  FinishEdit(context, name, start, OneSecond(*document));
  ShowAll(*document);
  document->SetSelection(start, end, document->cursor);
  context.frame.RedrawActiveDocument();
}

void SplitHere(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  BeginEdit(context.frame, "Splitte Dateien an diesem Punkt");
  LSegmentList rest = document->sound;
  const int32_t cursor = document->cursor;
  document->sound.TrimEnd(cursor);
  document->modified = true;
  document->LengthChanged();
  context.frame.RedrawActiveDocument();
  rest.TrimStart(cursor);
  OpenInNewWindow(context, std::move(rest));
}

// The selected part of the sound (trim end, then trim start, on a copy).
LSegmentList SelectedPart(const LSoundDocument& document) {
  LSegmentList part = document.sound;
  part.TrimEnd(document.selectionEnd);
  part.TrimStart(document.selectionStart);
  return part;
}

void CopyToNew(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr || !document->HasSelection()) return;
  OpenInNewWindow(context, SelectedPart(*document));
  if (context.settings.Read(kAutoArrangeWindows)) context.frame.ArrangeWindows();
}

void SaveSelectionAs(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  std::string path;
  for (;;) {
    LSaveFileRequest request{kSaveSelectionTitle, "Wave (*.wav)", "wav", context.settings.Read(kSaveAsDir)};
    std::optional<std::string> chosen = context.ui.ChooseSaveFile(request);
    if (!chosen) return;
    context.settings.Write(kSaveAsDir, FolderOf(*chosen));
    if (!FileExists(*chosen)) {
      path = *chosen;
      break;
    }
    LAnswer answer = context.ui.Message(kReplaceFileQuestion, "Klangor", LButtons::kYesNoCancel, LIcon::kQuestion);
    if (answer == LAnswer::kCancel) return;
    if (answer == LAnswer::kYes) {
      path = *chosen;
      break;
    }
  }
  SaveSoundAs(context, SelectedPart(*document), path, document->tags);
}

}  // namespace

void AddEditCommands(LCommandTable& table) {
  table.Add({CommandId(LEditCommandId::kDelete), "&Löschen", Delete});
  table.Add({CommandId(LEditCommandId::kSelectAll), "Alles markieren", SelectAll});
  table.Add({CommandId(LEditCommandId::kSelectToStart), "Anfang markieren", SelectToStart});
  table.Add({CommandId(LEditCommandId::kSelectToEnd), "Ende markieren", SelectToEnd});
  table.Add({CommandId(LEditCommandId::kSelectRange), "Bereich markieren", SelectRange});
  table.Add({CommandId(LEditCommandId::kMarkFirst), "Erste Position markieren", MarkFirst});
  table.Add({CommandId(LEditCommandId::kMarkSecond), "Zweite Position markieren", MarkSecond});
  table.Add({CommandId(LEditCommandId::kSelectMarks), "Markierung wiederrufen", SelectMarks});
  table.Add({CommandId(LEditCommandId::kTrim), "Trimmen", Trim});
  table.Add({CommandId(LEditCommandId::kTrimStart), "Start trimmen", TrimStart});
  table.Add({CommandId(LEditCommandId::kTrimEnd), "Ende trimmen", TrimEnd});
  table.Add({CommandId(LEditCommandId::kAutoTrim), "Automatisch trimmen", AutoTrim});
  table.Add({CommandId(LEditCommandId::kAutoSplit), "Auto Split...", AutoSplitCommand});
  table.Add({CommandId(LEditCommandId::kSilenceSelection), "Stille im ausgewähltem Bereich", SilenceSelection});
  table.Add({CommandId(LEditCommandId::kInsertSilenceStart), "Anfang",
             [](LCommandContext& context) { InsertSilence(context, LSilencePlace::kStart); }});
  table.Add({CommandId(LEditCommandId::kInsertSilenceCursor), "Aktuelle",
             [](LCommandContext& context) { InsertSilence(context, LSilencePlace::kCursor); }});
  table.Add({CommandId(LEditCommandId::kInsertSilenceEnd), "Ende",
             [](LCommandContext& context) { InsertSilence(context, LSilencePlace::kEnd); }});
  table.Add({CommandId(LEditCommandId::kLoopRepeat), "Loop wiederholen...", LoopRepeat});
  table.Add({CommandId(LEditCommandId::kSplitHere), "An dieser Stelle in zwei Teile splitten", SplitHere});
  table.Add({CommandId(LEditCommandId::kCopyToNew), "Nach neu kopieren", CopyToNew});
  table.Add({CommandId(LEditCommandId::kSaveSelectionAs), "Speicher markierte Region als...", SaveSelectionAs});
}

}  // namespace klangor
