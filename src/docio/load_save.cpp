#include "docio/load_save.h"

#include "dsp/processing_pump.h"
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
                   LProgress& progress) {
  LSafeReplace replace(path);
  if (!replace.Ready()) return LResult::kFailed;
  LRef<LSoundSink> sink = makeSink(replace.TempPath());
  if (!sink) return LResult::kFailed;
  LResult result = ProcessingPump("Speichere Datei...", std::move(stream), *sink, progress);
  sink->Finish();
  if (result == LResult::kDone && sink->Failed()) result = LResult::kFailed;
  sink.Reset();
  if (result == LResult::kDone && !replace.Commit()) result = LResult::kFailed;
  return result;
}

}  // namespace klangor
