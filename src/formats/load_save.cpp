#include "formats/load_save.h"

#include "effects/processing_pump.h"
#include "platform/paths.h"
#include "platform/safe_replace.h"
#include "store/block_writer.h"

namespace klangor {

LResult LoadStream(LSoundStream& stream, const std::string& fileName, LSegmentList& target,
                   LProgress& progress) {
  if (!stream.Usable()) return LResult::kFailed;
  auto writer = MakeRef<LBlockWriter>(stream.SampleRate(), target, stream.Channels());
  // The caller holds the stream through an LRef; the pump's chain takes one more reference.
  LResult result =
      ProcessingPump("Lade Datei " + FileNameOf(fileName), LRef<LSoundStream>(&stream), *writer, progress);
  writer->Finish();
  if (result == LResult::kDone && writer->Failed()) result = LResult::kFailed;
  if (result != LResult::kDone) target.Clear();
  return result;
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
