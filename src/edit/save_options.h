#pragma once
// The options dialogs of saving, one per format, as dialog models (frame/user_interface.h)
// over the stored encoder settings (docio/encoder_settings.h); OK stores the values.

#include <cstdint>
#include <string>

#include "frame/command_table.h"

namespace klangor {

// The options dialog of `extension` (".mp3", ...; with the dot, lower case) for a sound of
// `channels` channels at `sampleRate` Hz; false when the user cancelled it or the extension is
// not saved at all. Formats without options give true at once. ".wav" chooses the format
// stored in "WavCodec.wff".
bool ShowSaveOptions(LCommandContext& context, const std::string& extension, int channels, int32_t sampleRate);

}  // namespace klangor
