#pragma once
// klangor-batch --record: records from an input device (or the virtual input playing a WAV
// file) into a WAV file until Ctrl+C, the time limit or the end of the input file, with a
// one-line time and level display on standard error when that is a terminal. The recorder
// settings apply as in the recorder dialog: with "Autotrim" it waits for sound above
// "Threshold" and cuts trailing silence, with "Vor" it pauses after 5 s of silence.
//
// The file is written through as the audio arrives: a Ctrl+C, a kill or a crash leaves a
// valid WAV file. A device that cannot be opened leaves an existing file alone.

#include <iosfwd>

#include "batch/batch_options.h"
#include "settings/settings_store.h"

namespace klangor {

// Prints "N  name" for every input device.
void ListInputDevices(std::ostream& out);

// Exit status: 0 recorded (also when Ctrl+C ended it), 2 failed (the message is on `err`).
int RunRecord(const LBatchRecordOptions& options, const LSettingsStore& settings, bool showStatus,
              std::ostream& err);

}  // namespace klangor
