#include "docio/load_save.h"

#include "dsp/processing_pump.h"
#include "platform/paths.h"
#include "platform/safe_replace.h"
#include "store/block_writer.h"

namespace klangor {

LResult LoadStream(LSoundStream& stream, const std::string& fileName, LSegmentList& target,
                   LProgress& progress) {
  if (!stream.Usable()) return LResult::kFailed;
  // The caller holds the stream through an LRef; the pump's chain takes one more reference.
  return WriteBlock(stream.SampleRate(), stream.Channels(), target, [&](LSoundSink& sink) {
    return ProcessingPump("Lade Datei " + FileNameOf(fileName), LRef<LSoundStream>(&stream), sink, progress);
  });
}

LResult SaveStream(LSoundStream& stream, const std::string& path, const LSinkFactory& makeSink,
                   LProgress& progress) {
  LSafeReplace replace(path);
  if (!replace.Ready()) return LResult::kFailed;
  LRef<LSoundSink> sink = makeSink(replace.TempPath());
  if (!sink) return LResult::kFailed;
  LResult result = ProcessingPump("Speichere Datei...", LRef<LSoundStream>(&stream), *sink, progress);
  sink->Finish();
  if (result == LResult::kDone && sink->Failed()) result = LResult::kFailed;
  sink.Reset();
  if (result == LResult::kDone && !replace.Commit()) result = LResult::kFailed;
  return result;
}

}  // namespace klangor
