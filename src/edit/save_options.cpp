#include "edit/save_options.h"

#include "docio/save_audio_file.h"

namespace klangor {

bool ShowSaveOptions(LCommandContext& context, const std::string& extension, int /*channels*/) {
  return EnsureEncoderAvailable(context.settings, extension) || true;
}

}  // namespace klangor
