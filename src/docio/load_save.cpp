#include "docio/load_save.h"

#include "dsp/processing_pump.h"
#include "formats/open_messages.h"
#include "platform/paths.h"
#include "platform/safe_replace.h"
#include "store/block_writer.h"

namespace klangor {

LResult LoadStream(LRef<LSoundStream> stream, const std::string& fileName, LSegmentList& target,
                   LProgress& progress) {
  if (!stream || !stream->Usable()) return LResult::kFailed;
  const int32_t rate = stream->SampleRate();
  const int channels = stream->Channels();
  return WriteBlock(rate, channels, target, [&](LSoundSink& sink) {
    return ProcessingPump("Lade Datei " + FileNameOf(fileName), std::move(stream), sink, progress);
  });
}

LResult SaveStream(LRef<LSoundStream> stream, const std::string& path, const LSinkFactory& makeSink,
                   LProgress& progress, LSaveFailure* failure) {
  LSaveFailure why = LSaveFailure::kCannotCreate;
  LResult result = LResult::kFailed;
  LSafeReplace replace(path);
  if (replace.Ready()) {
    if (LRef<LSoundSink> sink = makeSink(replace.TempPath())) {
      result = ProcessingPump("Speichere Datei...", std::move(stream), *sink, progress);
      sink->Finish();
      if (result == LResult::kDone && sink->Failed()) result = LResult::kFailed;
      if (sink->LacksSpace()) why = LSaveFailure::kNoSpace;
    }
    if (result == LResult::kDone && !replace.Commit()) result = LResult::kFailed;
  }
  if (failure != nullptr) *failure = result == LResult::kFailed ? why : LSaveFailure::kNone;
  return result;
}

std::string SaveFailureMessage(LSaveFailure failure, const std::string& path) {
  switch (failure) {
    case LSaveFailure::kNone: return {};
    case LSaveFailure::kNoSpace: return NoSpaceToSaveMessage(path);
    case LSaveFailure::kCannotCreate: break;
  }
  return CannotCreateMessage(path);
}

}  // namespace klangor
