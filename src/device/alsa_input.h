#pragma once
// ALSA capture: an input device over one capture PCM.
//
// The device buffer holds about two seconds, so that a recorder held up by a slow disk loses
// nothing. An overrun (the buffer ran full) is recovered and counted; the frames lost are
// estimated from the clock (what should have arrived since the start minus what did). A
// device that is gone (unplugged, server killed) makes the input fail.

#include <memory>
#include <string>

#include "device/wave_in.h"

namespace klangor {

// Opens the capture PCM `pcmName` for `format`; nothing (and `error` set) when ALSA refuses.
std::unique_ptr<LWaveIn> OpenAlsaInput(const std::string& pcmName, const LDeviceFormat& format, std::string* error);

}  // namespace klangor
