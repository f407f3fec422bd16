#include "recorder/recorder_settings.h"

#include "settings/settings_keys.h"

namespace klangor {

LRecorderStart RecorderStartFor(const LSettingsStore& settings) {
  LRecorderStart start;
  if (settings.Read(kRecorderAutotrim)) start.threshold = settings.Read(kRecorderThreshold);
  if (settings.Read(kRecorderVor)) start.silenceMs = 5000;
  return start;
}

}  // namespace klangor
