#pragma once
// The options dialogs of saving, one per format, as dialog models (frame/user_interface.h)
// over the stored encoder settings (docio/encoder_settings.h); OK stores the values.

#include <cstdint>
#include <string>

#include "frame/command_table.h"

namespace klangor {

// The options dialog of `extension` (".mp3", ...; with the dot, lower case) for a sound of
// `channels` channels at `sampleRate` Hz, started from the stored settings, which OK stores;
// false when the user cancelled it. ".wav" chooses the format stored in "WavCodec.wff".
// Formats without options, extensions that are not saved and formats whose encoder is
// missing give true at once (the save then reports what is wrong).
bool ShowSaveOptions(LCommandContext& context, const std::string& extension, int channels, int32_t sampleRate);

}  // namespace klangor
