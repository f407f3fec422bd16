#pragma once
// "Aufnehmen..." (3001, F5, bar button 118): without an active document a new one is made
// first (as "Neu..."; cancelling that ends the command); playback stops; the recorder dialog
// opens with the document's rate and channel count. When it ends with a take, the take is
// inserted at the cursor as the undo step "Record", selected, with the cursor at its start.

#include <functional>
#include <memory>

#include "frame/command_table.h"
#include "recorder/record_dialog.h"

namespace klangor {

// Makes the dialog for a document of `sampleRate` and `channels` (the window's devices and
// notifier inside).
using LRecordDialogFactory = std::function<std::unique_ptr<LRecordDialog>(int32_t sampleRate, int channels)>;

// Inserts the take file at `path` into the active document at its cursor; false when it
// could not be read (nothing changed then).
bool InsertTake(LCommandContext& context, const std::string& path);

void AddRecordCommand(LCommandTable& table, LRecordDialogFactory makeDialog);

}  // namespace klangor
