#include "docio/load_save.h"

#include "audio/pump.h"
#include "docio/file_tags.h"
#include "docio/open_audio_file.h"
#include "dsp/processing_pump.h"
#include "formats/open_messages.h"
#include "platform/paths.h"
#include "platform/safe_replace.h"
#include "store/block_writer.h"

namespace klangor {

LResult PumpWholeStream(const std::string& title, const LRef<LSoundStream>& stream, LSoundSink& sink,
                        LProgress& progress) {
  const LResult result = ProcessingPump(title, stream, sink, progress);
  if (result != LResult::kDone) return result;
  int64_t length = stream->Length();
  if (sink.SampleRate() != stream->SampleRate() && stream->SampleRate() > 0) {
    length = (length * sink.SampleRate() + stream->SampleRate() / 2) / stream->SampleRate();
  }
  if (length < sink.FramesWritten()) sink.Seek(static_cast<int32_t>(length));
  return sink.Failed() ? LResult::kFailed : LResult::kDone;
}

LResult LoadStream(LRef<LSoundStream> stream, const std::string& fileName, LSegmentList& target,
                   LProgress& progress) {
  if (!stream || !stream->Usable()) return LResult::kFailed;
  const std::string title = "Lade Datei " + FileNameOf(fileName);
  LResult result = WriteBlock(stream->SampleRate(), stream->Channels(), target, [&](LSoundSink& sink) {
    return PumpWholeStream(title, stream, sink, progress);
  });
  if (result == LResult::kDone && !stream->Usable()) result = LResult::kFailed;
  if (result != LResult::kDone) target.Clear();
  return result;
}

LResult LoadAudioFile(const std::string& path, bool& prompt, LOpenContext& context, LSoundDocument& document) {
  context.progress.SetTitle("Lade Datei " + FileNameOf(path));
  context.progress.SetStatusLine(kPleaseWait);
  LRef<LSoundStream> stream;
  const LResult opened = OpenAudioFile(stream, path, prompt, context);
  if (opened != LResult::kDone) return opened;
  LSegmentList sound;
  const LResult result = LoadStream(stream, path, sound, context.progress);
  stream.Reset();  // stops a decoder that still runs and deletes its temporary file
  if (result != LResult::kDone) return result;
  document.sound = std::move(sound);
  document.tags = ReadFileTags(path);
  document.fileName = path;
  return LResult::kDone;
}

LResult SaveStream(LRef<LSoundStream> stream, const std::string& path, const LSinkFactory& makeSink,
                   LProgress& progress, LSaveFailure* failure, const LFileStep& complete) {
  LSaveFailure why = LSaveFailure::kCannotCreate;
  LResult result = LResult::kFailed;
  LSafeReplace replace(path);
  if (replace.Ready()) {
    if (LRef<LSoundSink> sink = makeSink(replace.TempPath())) {
      result = PumpWholeStream("Speichere Datei...", stream, *sink, progress);
      if (result != LResult::kDone) sink->Abandon();
      sink->Finish();
      if (result == LResult::kDone && (sink->Failed() || !stream->Usable())) result = LResult::kFailed;
      if (sink->LacksSpace()) why = LSaveFailure::kNoSpace;
    }
    if (result == LResult::kDone && complete && !complete(replace.TempPath())) result = LResult::kFailed;
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
