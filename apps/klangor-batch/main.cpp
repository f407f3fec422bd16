// klangor-batch: the batch processor for terminals and scripts.

#include <iostream>
#include <string>
#include <vector>

#include "app/record_run.h"
#include "app/working_folder.h"
#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "batch/terminal_progress.h"
#include "settings/settings_store.h"
#include "store/block_store.h"

int main(int argc, char** argv) {
  using namespace klangor;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  std::optional<LBatchOptions> options = ParseBatchOptions(args, &error);
  if (!options) {
    std::cerr << "klangor-batch: " << error << "\n" << BatchUsage();
    return 2;
  }
  PrepareWorkingFolder(Settings());  // "UseDefaultWorkingDir" and "WorkingFolder" choose it
  LTerminalProgress::CatchInterrupt();
  int status;
  {
    LTerminalProgress progress(!options->quiet);
    if (options->record) {
      status = RunRecord(*options->record, Settings(), !options->quiet, std::cerr);
    } else if (options->listInputDevices) {
      ListInputDevices(std::cout);
      status = 0;
    } else {
      status = RunBatch(*options, Settings(), progress, std::cout, std::cerr);
    }
  }
  LBlockStore::Instance().CleanUp();
  return status;
}
