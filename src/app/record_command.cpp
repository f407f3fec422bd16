#include "app/record_command.h"

#include "docio/load_save.h"
#include "frame/edit_frame.h"
#include "frame/frame_model.h"
#include "frame/menu_layout.h"
#include "recorder/take_file.h"
#include "store/sound_document.h"

namespace klangor {

bool InsertTake(LCommandContext& context, const std::string& path) {
  LSoundDocument* document = context.frame.ActiveDocument();
  if (document == nullptr) return false;
  LSegmentList take;
  const LResult loaded = context.ui.RunWithProgress("Aufnahme einfügen", [&](LProgress& progress) {
    return LoadStream(OpenTakeSource(path), path, take, progress);
  });
  if (loaded != LResult::kDone || take.Length() == 0) return false;
  if (!BeginEdit(context.frame, "Record")) return false;
  const int32_t at = document->cursor;
  document->sound.Insert(at, take);
  document->LengthChanged();
  document->SetSelection(at, at + take.Length(), at);
  context.frame.RedrawActiveDocument();
  context.frame.RefreshBars();
  return true;
}

void AddRecordCommand(LCommandTable& table, LRecordDialogFactory makeDialog) {
  table.Add({kCmdRecord, "Aufnehmen...", [&table, makeDialog](LCommandContext& context) {
               if (context.frame.ActiveDocument() == nullptr) {
                 table.Dispatch(kCmdNew, context);
                 if (context.frame.ActiveDocument() == nullptr) return;
               }
               context.frame.StopPlayback();
               LSoundDocument& document = *context.frame.ActiveDocument();
               std::unique_ptr<LRecordDialog> dialog =
                   makeDialog(document.sound.SampleRate(), document.sound.Channels());
               if (!context.ui.RunDialog(*dialog)) return;
               const std::string path = dialog->ChosenTakePath();
               dialog.reset();
               if (!path.empty()) InsertTake(context, path);
             }});
}

}  // namespace klangor
