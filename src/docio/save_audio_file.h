#pragma once
// SaveAudioFile: the one way sounds are saved, by the extension of the target's name (in any
// case). Klangor's own writers (WAV in the format of "WavCodec.wff", AIFF, AU, GSM, VOX, raw)
// write directly; ".mp3", ".ogg", ".flac", ".aac", ".m4a" and ".amr" run encoder programs
// fed through a pipe (docio/pipe_encoder_sink.h); ".rss", ".m3u", ".pls" and ".wpl" write an
// MP3 file next to the list file. Every save writes a temporary file next to the target,
// which replaces it only when the whole sound was written, the encoder ended well and the
// tags are in; a failed or cancelled save leaves the old file as it was.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/ref_counted.h"
#include "audio/result.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "docio/load_save.h"
#include "settings/settings_store.h"
#include "store/tag_list.h"

namespace klangor {

// What saving may ask of the user.
class LSaveInteraction {
 public:
  virtual ~LSaveInteraction() = default;
  // The message of a failed save; `why` tells a refusal for lack of space from the others.
  virtual void ShowSaveError(const std::string& text, LSaveFailure why) = 0;
  // The options dialog of the format (ShowSaveOptions): false when the user cancelled.
  virtual bool ShowSaveOptions(const std::string& extension, int channels) = 0;
};

// For callers without dialogs (klangor-batch): messages go to `report`, the stored options apply.
class LReportingSaveInteraction final : public LSaveInteraction {
 public:
  explicit LReportingSaveInteraction(std::function<void(const std::string&)> report) : report_(std::move(report)) {}
  void ShowSaveError(const std::string& text, LSaveFailure /*why*/) override { report_(text); }
  bool ShowSaveOptions(const std::string& /*extension*/, int /*channels*/) override { return true; }

 private:
  std::function<void(const std::string&)> report_;
};

struct LSaveContext {
  LSaveContext(LSettingsStore& store, LSaveInteraction& ui, LProgress& work)
      : settings(store), interaction(ui), progress(work) {}

  LSettingsStore& settings;
  LSaveInteraction& interaction;
  LProgress& progress;
  std::string temporaryFolder;  // empty: the private temporary folder
  std::string wavCodecFile;     // empty: the data folder's "WavCodec.wff"
};

// The extensions of the Save As list, lower case with the dot, in its order.
const std::vector<std::string>& SaveExtensions();

// True when `extension` (with or without the dot, any case) can be written: always for
// Klangor's own writers and the list files, when its encoder component is found for the
// others (else `message`, when given, receives the missing-component message); false for an
// extension outside the list.
bool EnsureEncoderAvailable(const LSettingsStore& settings, const std::string& extension,
                            std::string* message = nullptr);

// The sink that writes `path` as `extension` from a sound of `sampleRate` Hz and `channels`
// channels, with the stored options; never null: an extension outside the list or a missing
// encoder gives a sink whose error bit is set.
LRef<LSoundSink> CreateAudioSink(LSaveContext& context, const std::string& extension, const std::string& path,
                                 int32_t sampleRate, int channels, const LTagList& tags);

// Saves the whole stream as `path` with `tags`; with `showOptions` the format's options
// dialog comes first. kDone, kCancelled, or kFailed after the message has been shown (none
// when the options dialog was cancelled: that gives kCancelled).
LResult SaveAudioFile(LRef<LSoundStream> stream, const std::string& path, bool showOptions, LSaveContext& context,
                      const LTagList& tags = {});

}  // namespace klangor
