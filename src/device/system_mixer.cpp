#include "device/system_mixer.h"

#include "platform/process.h"

namespace klangor {

std::optional<LSystemMixer> FindSystemMixer(bool recording) {
  if (!FindProgram("pavucontrol").empty()) {
    return LSystemMixer{"PulseAudio Mischpult öffnen", {"pavucontrol", recording ? "--tab=2" : "--tab=1"}};
  }
  if (FindProgram("alsamixer").empty()) return std::nullopt;
  for (const char* terminal : {"x-terminal-emulator", "xterm"}) {
    if (!FindProgram(terminal).empty()) {
      return LSystemMixer{"ALSA Mischpult öffnen",
                          {terminal, "-e", "alsamixer", "-V", recording ? "capture" : "playback"}};
    }
  }
  return std::nullopt;
}

bool OpenSystemMixer(bool recording, std::string* message) {
  const std::optional<LSystemMixer> mixer = FindSystemMixer(recording);
  if (!mixer) {
    *message = kNoSystemMixerMessage;
    return false;
  }
  if (!StartProgram(mixer->argv)) {
    *message = "Das Mischpult \"" + mixer->argv[0] + "\" konnte nicht gestartet werden.";
    return false;
  }
  return true;
}

}  // namespace klangor
