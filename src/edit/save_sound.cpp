#include "edit/save_sound.h"

#include "docio/save_audio_file.h"
#include "edit/save_options.h"
#include "formats/format_table.h"
#include "formats/open_messages.h"
#include "frame/command_steps.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

// The save runs on the progress window's worker: its message is kept and shown afterwards.
class LKeptSaveMessage final : public LSaveInteraction {
 public:
  void ShowSaveError(const std::string& text, LSaveFailure why) override {
    message = text;
    failure = why;
  }
  bool ShowSaveOptions(const std::string& /*extension*/, int /*channels*/) override { return true; }

  std::string message;
  LSaveFailure failure = LSaveFailure::kNone;
};

}  // namespace

LResult SaveSoundAs(LCommandContext& context, const LSegmentList& sound, const std::string& path,
                    const LTagList& tags, bool showOptions) {
  if (showOptions && !ShowSaveOptions(context, "." + LowerExtension(path), sound.Channels(), sound.SampleRate())) {
    return LResult::kCancelled;
  }
  LRef<LSoundStream> reader = OpenSegmentStream(sound);  // a private copy of the list
  LKeptSaveMessage kept;
  const LResult result = context.ui.RunWithProgress("Speichere Datei...", [&](LProgress& progress) {
    LSaveContext save(context.settings, kept, progress);
    return SaveAudioFile(reader, path, false, save, tags);
  });
  if (result == LResult::kFailed) {
    const std::string text = kept.message.empty() ? CannotCreateMessage(path) : kept.message;
    if (kept.failure == LSaveFailure::kNoSpace) {
      context.ui.Message(text, kLowSpaceCaption, LButtons::kOk, LIcon::kInformation);
    } else {
      context.ui.Message(text, "Klangor", LButtons::kOk, LIcon::kError);
    }
  }
  return result;
}

}  // namespace klangor
