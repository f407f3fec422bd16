#pragma once
// What klangor-batch does with its files: probe them, or load each into a document and save
// it again (into the output folder, in the output format).

#include <iosfwd>

#include "audio/progress.h"
#include "batch/batch_options.h"

namespace klangor {

// Exit status: 0 all done, 1 cancelled, 2 something failed (its message is on `err`).
int RunBatch(const LBatchOptions& options, LProgress& progress, std::ostream& out, std::ostream& err);

// The file that `input` is saved to under `options`.
std::string BatchOutputPath(const std::string& input, const LBatchOptions& options);

}  // namespace klangor
