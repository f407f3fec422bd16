#pragma once
// What each batch command does to a document: the command runs over the document's
// selection (the batch selects the whole sound) with the command's values.

#include "audio/progress.h"
#include "audio/result.h"
#include "batch/batch_command.h"
#include "batch/batch_processor.h"
#include "settings/settings_store.h"
#include "store/sound_document.h"

namespace klangor {

// True when this build can run the command (the others are skipped with a message).
bool BatchCommandAvailable(uint32_t number);

LResult RunBatchOperation(const LBatchCommand& command, LSoundDocument& document,
                          const LSettingsStore& settings, LProgress& progress, const LBatchReport& report);

}  // namespace klangor
