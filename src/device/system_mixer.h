#pragma once
// The desktop's own mixer, started from the recorder dialog: pavucontrol when it is
// installed (PipeWire and PulseAudio desktops), else alsamixer in a terminal window.

#include <optional>
#include <string>
#include <vector>

namespace klangor {

inline constexpr char kNoSystemMixerMessage[] =
    "Kein Mischpult gefunden. Bitte installieren Sie pavucontrol oder alsa-utils mit einem Terminal "
    "(x-terminal-emulator).";

struct LSystemMixer {
  std::string buttonText;         // "PulseAudio Mischpult öffnen" or "ALSA Mischpult öffnen"
  std::vector<std::string> argv;  // what is started
};

// The mixer found on PATH, showing the recording (`recording`) or the playback side;
// nothing when neither is installed.
std::optional<LSystemMixer> FindSystemMixer(bool recording);

// Starts it without waiting; false with `message` (kNoSystemMixerMessage, or why it could
// not be started) otherwise.
bool OpenSystemMixer(bool recording, std::string* message);

}  // namespace klangor
