#pragma once
// klangor-batch --play: loads the file into a document and plays it (or the range --from ..
// --to of it, as a selection) through the player, with a one-line position and level display
// on standard error when that is a terminal. Ctrl+C stops. With --capture it plays into the
// virtual device as fast as possible and writes what was played into the capture file
// (exactly --seconds of it when given).

#include <iosfwd>

#include "audio/progress.h"
#include "batch/batch_options.h"
#include "settings/settings_store.h"

namespace klangor {

// Prints "N  name" for every output device.
void ListOutputDevices(std::ostream& out);

// Exit status: 0 played, 1 stopped by Ctrl+C, 2 failed (the message is on `err`).
int RunPlay(const LBatchPlayOptions& options, const LSettingsStore& settings, LProgress& progress, bool showStatus,
            std::ostream& err);

}  // namespace klangor
