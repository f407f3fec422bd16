#include "edit/save_options.h"

#include "docio/save_audio_file.h"
#include "docio/wav_codec_file.h"
#include "edit/wave_format_dialog.h"

namespace klangor {

bool ShowSaveOptions(LCommandContext& context, const std::string& extension, int channels, int32_t sampleRate) {
  if (extension == ".wav") return ChooseWaveSaveFormat(context.ui, WavCodecFilePath(), sampleRate, channels);
  return EnsureEncoderAvailable(context.settings, extension) || true;
}

}  // namespace klangor
