#include "edit/save_options.h"

#include <memory>

#include "docio/encoder_settings.h"
#include "docio/raw_settings.h"
#include "docio/save_audio_file.h"
#include "docio/wav_codec_file.h"
#include "edit/raw_format_dialog.h"
#include "edit/save_option_dialogs.h"
#include "edit/wave_format_dialog.h"

namespace klangor {
namespace {

// The options dialog of an encoder format with the stored settings, or null for a format
// without one.
std::unique_ptr<LSaveOptionsDialog> EncoderDialog(const LSettingsStore& settings, const std::string& ext,
                                                  int channels) {
  if (ext == ".mp3") return std::make_unique<LMp3EncodeDlg>(LoadMp3Settings(settings), channels);
  if (ext == ".ogg") return std::make_unique<LOggEncodeDlg>(LoadOggSettings(settings), channels);
  if (ext == ".flac") return std::make_unique<LFlacEncodeDlg>(LoadFlacSettings(settings));
  if (ext == ".aac" || ext == ".m4a") return std::make_unique<LAACEncodeDlg>(LoadAacSettings(settings));
  if (ext == ".amr") return std::make_unique<LAMREncodeDlg>(LoadAmrMode(settings));
  if (ext == ".rss" || ext == ".m3u" || ext == ".pls" || ext == ".wpl") {
    return std::make_unique<LPlaylistEncodeDlg>(ext == ".rss", LoadRootUrl(settings), LoadMp3Settings(settings),
                                                channels);
  }
  return nullptr;
}

}  // namespace

bool ShowSaveOptions(LCommandContext& context, const std::string& extension, int channels, int32_t sampleRate) {
  if (extension == ".wav") return ChooseWaveSaveFormat(context.ui, WavCodecFilePath(), sampleRate, channels);
  // An extension that is not saved, or whose encoder is missing, shows nothing: the save
  // itself reports it.
  if (!EnsureEncoderAvailable(context.settings, extension)) return true;
  if (extension == ".vox" || extension == ".raw") {
    const LRawRecord record = extension == ".vox" ? LRawRecord::kVoxAudio : LRawRecord::kRawAudio;
    LRawDlg fields(record, LoadRawFormat(context.settings, record));
    LRawFormatDialog dialog(fields, context.settings);  // its OK stores the record
    return context.ui.RunDialog(dialog);
  }
  std::unique_ptr<LSaveOptionsDialog> dialog = EncoderDialog(context.settings, extension, channels);
  if (dialog == nullptr) return true;  // ".au", ".aif", ".aiff", ".gsm"
  if (!context.ui.RunDialog(*dialog)) return false;
  dialog->Store(context.settings);
  return true;
}

}  // namespace klangor
