#pragma once
// The mixer model over ALSA's simple mixer.
//
// Speakers: the element "Master" (playback volume, and its switch as the mute control) with
// the element "PCM" as the player's output line. Recording input: the element "Capture"
// (capture volume, and its switch as on/off) and, when the card has an enumerated capture
// element ("Capture Source", "Input Source"), that element as the input selector with one
// source line per item; otherwise every element with a capture volume or switch is a
// source line. Levels 0..65535 map linearly onto each element's own range.

#include <memory>
#include <string>

#include "device/mixer.h"

namespace klangor {

// The mixer of ALSA control device `card` ("default", "hw:0"); nothing when it cannot be
// opened.
std::unique_ptr<LMixer> OpenAlsaMixer(const std::string& card);

// Device numbers as the device lists count them: 0 the default device's mixer, n the card
// of the n-th ALSA PCM of that direction (the default mixer when the PCM names no card).
LMixerOpener AlsaMixerOpener();

}  // namespace klangor
