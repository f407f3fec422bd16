#pragma once
// What klangor-batch does: list the commands, probe files, or run the batch over its files
// with the command list of its script and --command options.

#include <iosfwd>

#include "audio/progress.h"
#include "batch/batch_options.h"
#include "batch/batch_processor.h"
#include "settings/settings_store.h"

namespace klangor {

// Exit status: 0 all done, 1 cancelled, 2 something failed (its message is on `err`).
int RunBatch(const LBatchOptions& options, const LSettingsStore& settings, LProgress& progress,
             std::ostream& out, std::ostream& err);

// Where and how the command line saves.
LBatchOutput BatchOutputOf(const LBatchOptions& options);
// The file that `input` is saved to under `options`.
std::string BatchOutputPath(const std::string& input, const LBatchOptions& options);

}  // namespace klangor
