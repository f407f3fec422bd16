#pragma once
// ALSA playback: the PCM names ALSA lists (its hints) and the backend that plays into one.
//
// The device buffer holds about 400 ms, in periods of a quarter of that (as ALSA chooses);
// playback starts with the first frame written. An underrun is recovered
// (and counted when audio was waiting); a device that is gone (unplugged, server killed)
// makes the backend fail.

#include <memory>
#include <string>
#include <vector>

#include "device/output_backend.h"
#include "device/wave_out.h"

namespace klangor {

struct LAlsaPcmInfo {
  std::string name;         // what snd_pcm_open takes ("default", "hw:CARD=PCH,DEV=0", ...)
  std::string description;  // the first line of ALSA's description
};

// Keeps ALSA's own messages off stderr (Klangor reports errors itself); once per process.
void SilenceAlsaMessages();

// The PCMs that ALSA lists for playback (capture), in its order.
std::vector<LAlsaPcmInfo> ListAlsaPlaybackPcms();
std::vector<LAlsaPcmInfo> ListAlsaCapturePcms();

// Opens the PCM `pcmName` for `format`; nothing (and `error` set) when ALSA refuses.
std::unique_ptr<LOutputBackend> MakeAlsaBackend(const std::string& pcmName, const LDeviceFormat& format,
                                                std::string* error);

}  // namespace klangor
