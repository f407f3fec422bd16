#include "edit/save_sound.h"

#include "docio/load_save.h"
#include "docio/raw_settings.h"
#include "formats/open_messages.h"
#include "frame/command_steps.h"
#include "store/segment_stream.h"

namespace klangor {

LResult SaveSoundAs(LCommandContext& context, const LSegmentList& sound, const std::string& path,
                    const LFormatEntry& format) {
  const LFormatSettings settings = StoredFormatSettings(context.settings);
  LRef<LSoundStream> reader = OpenSegmentStream(sound);
  LSaveFailure failure = LSaveFailure::kNone;
  LResult result = context.ui.RunWithProgress("Speichere Datei...", [&](LProgress& progress) {
    if (format.create == nullptr) return LResult::kFailed;
    return SaveStream(reader, path,
                      [&](const std::string& target) {
                        return format.create(target, sound.SampleRate(), sound.Channels(), settings);
                      },
                      progress, &failure);
  });
  if (result == LResult::kFailed && failure == LSaveFailure::kNoSpace) {
    context.ui.Message(SaveFailureMessage(failure, path), kLowSpaceCaption, LButtons::kOk, LIcon::kInformation);
  } else if (result == LResult::kFailed) {
    context.ui.Message(CannotCreateMessage(path), "Klangor", LButtons::kOk, LIcon::kError);
  }
  return result;
}

}  // namespace klangor
