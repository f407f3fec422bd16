#pragma once
// How the recorder dialog (and klangor-batch --record) start the engine from the "Recorder"
// settings: with "Autotrim" it waits for sound of "Threshold" dB and cuts trailing silence
// (else the start threshold is -127: everything is written, nothing trimmed); with "Vor" it
// pauses after 5 s of silence (else after 60 hours, in effect never).

#include <cstdint>

#include "settings/settings_store.h"

namespace klangor {

struct LRecorderStart {
  int threshold = -127;
  int64_t silenceMs = 216000000;
};

LRecorderStart RecorderStartFor(const LSettingsStore& settings);

}  // namespace klangor
