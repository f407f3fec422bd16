#include "effects/reverse.h"

#include <algorithm>
#include <vector>

#include "audio/pump.h"
#include "effects/effect_command.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {

LResult ReverseFrames(LSoundStream& source, LSoundSink& sink, int32_t start, int32_t end, LProgress& progress) {
  progress.SetStatusLine(kPleaseWaitEnglish);
  const int channels = source.Channels();
  const int64_t length = std::max<int64_t>(int64_t{end} - start, 0);
  std::vector<int32_t> piece(static_cast<size_t>(kPumpFrames) * channels);
  std::vector<int32_t> reversed(piece.size());
  int64_t position = end;
  for (int64_t remaining = length; remaining > 0;) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(remaining, kPumpFrames));
    position -= n;
    source.Seek(static_cast<int32_t>(position));
    source.Read(piece.data(), n);
    for (int32_t i = 0; i < n; ++i) {
      std::copy_n(piece.data() + static_cast<size_t>(n - 1 - i) * channels, channels,
                  reversed.data() + static_cast<size_t>(i) * channels);
    }
    sink.Write(reversed.data(), n);
    if (sink.Failed()) return LResult::kFailed;
    remaining -= n;
    progress.SetProgress(length - remaining, length);
  }
  return LResult::kDone;
}

LResult RunReverse(LSoundDocument& document, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end <= start) return LResult::kDone;
  progress.SetTitle(kReverseTitle);
  LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
  return ReplaceSelectionWith(document,
                              [&](LSoundSink& sink) { return ReverseFrames(*reader, sink, start, end, progress); });
}

void ReverseCommand(LCommandContext& context) {
  RunEffectCommand(context, {.undoName = kReverseName, .title = kReverseTitle, .run = RunReverse});
}

}  // namespace klangor
