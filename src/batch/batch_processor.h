#pragma once
// The batch run: every file of the list is opened, the command list is applied to its whole
// sound in order, and the result is saved under the output name. The run stops at the first
// file that cannot be opened, processed or saved: the files before it are done, the files
// after it are not touched.

#include <functional>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "batch/batch_command.h"
#include "settings/settings_store.h"

namespace klangor {

// The output formats of the batch by index (as "SaveFileFormat" stores them).
const std::vector<std::string>& BatchOutputExtensions();

struct LBatchOutput {
  bool sameFormat = true;
  int formatIndex = 0;       // into BatchOutputExtensions() when not sameFormat
  bool sameFolder = true;
  std::string folder;        // when not sameFolder
};

// Reads and writes the "BatchConverter" settings.
LBatchOutput ReadBatchOutput(const LSettingsStore& settings);
void WriteBatchOutput(LSettingsStore& settings, const LBatchOutput& output);

// Folder + the file's name without folder and last extension + the output extension; empty
// when the format index is out of range.
std::string BatchOutputName(const std::string& file, const LBatchOutput& output);

struct LBatchJob {
  std::vector<std::string> files;
  std::vector<LBatchCommand> commands;
  LBatchOutput output;
};

LResult RunBatchJob(const LBatchJob& job, const LSettingsStore& settings, LProgress& progress,
                    const LBatchReport& report);

}  // namespace klangor
