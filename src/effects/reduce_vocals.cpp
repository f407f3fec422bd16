#include "effects/reduce_vocals.h"

#include <algorithm>
#include <vector>

#include "audio/pump.h"
#include "audio/sample_format.h"
#include "dsp/effect_math.h"
#include "dsp/processing_pump.h"
#include "effects/effect_command.h"
#include "effects/reverse.h"
#include "store/block_writer.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

// Passes everything on, showing the English waiting text that this effect's progress window
// has in place of the German one.
class LEnglishWaitProgress final : public LProgress {
 public:
  explicit LEnglishWaitProgress(LProgress& progress) : progress_(progress) {}
  void SetTitle(const std::string& title) override { progress_.SetTitle(title); }
  void SetStatusLine(const std::string& text) override {
    progress_.SetStatusLine(text == kPleaseWait ? kPleaseWaitEnglish : text);
  }
  void SetProgress(int64_t done, int64_t total) override { progress_.SetProgress(done, total); }
  bool Cancelled() override { return progress_.Cancelled(); }

 private:
  LProgress& progress_;
};

// Frames [start, end) of the document through `make` into the sink by the processing pump.
template <class Make>
LResult PumpPart(const LSoundDocument& document, int32_t start, int32_t end, LSoundSink& sink,
                 LProgress& progress, Make make) {
  LSegmentList part;
  document.sound.ExtractRange(start, end, part);
  return ProcessingPump(kReduceVocalsTitle, make(OpenSegmentStream(part)), sink, progress);
}

}  // namespace

LReduceVocalsStream::LReduceVocalsStream(LRef<LSoundStream> input) : LSoundFilter(std::move(input)) {
  SetFormat(SampleRate(), 1);
  SetFullScale(kDocumentFullScale);
}

void LReduceVocalsStream::Read(int32_t* frames, int32_t frameCount) {
  pairs_.resize(2 * static_cast<size_t>(std::max(frameCount, 0)));
  Input().Read(pairs_.data(), frameCount);
  for (int32_t i = 0; i < frameCount; ++i) {
    frames[i] = SaturateToInt32(int64_t{pairs_[2 * static_cast<size_t>(i)]} - pairs_[2 * static_cast<size_t>(i) + 1]);
  }
}

LRef<LSoundStream> LReduceVocalsProcessor::MakeStream(LRef<LSoundStream> input) const {
  if (input->Channels() != 2) return input;
  return LRef<LSoundStream>(MakeRef<LReduceVocalsStream>(std::move(input)));
}

LResult RunReduceVocals(LSoundDocument& document, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end < start) return LResult::kDone;
  LEnglishWaitProgress shown(progress);
  const LReduceVocalsProcessor processor;
  const bool toMono = document.sound.Channels() == 2;
  const int channels = toMono ? 1 : document.sound.Channels();
  const int32_t length = document.Length();

  LSegmentList result;
  // Outside the selection the processing pump's format adapter keeps the left channel.
  auto left = [](LRef<LSoundStream> input) { return input; };
  auto reduce = [&](LRef<LSoundStream> input) { return processor.MakeStream(std::move(input)); };
  int32_t written = 0;
  const LResult outcome = WriteBlock(document.sound.SampleRate(), channels, result, [&](LSoundSink& sink) {
    LResult pumped = LResult::kDone;
    if (toMono && start > 0) pumped = PumpPart(document, 0, start, sink, shown, left);
    const int32_t before = sink.FramesWritten();
    if (pumped == LResult::kDone) pumped = PumpPart(document, start, end, sink, shown, reduce);
    written = sink.FramesWritten() - before;
    if (pumped == LResult::kDone && toMono && end < length) pumped = PumpPart(document, end, length, sink, shown, left);
    return pumped;
  });
  if (outcome != LResult::kDone) return outcome;
  if (toMono) {
    document.sound = std::move(result);
  } else {
    document.sound.ReplaceRange(start, end, result);
  }
  document.selectionEnd = start + written;
  document.LengthChanged();
  return LResult::kDone;
}

void ReduceVocalsCommand(LCommandContext& context) {
  RunEffectCommand(context,
                   {.undoName = kReduceVocalsName, .title = kReduceVocalsTitle, .stereoOnly = true, .run = RunReduceVocals});
}

}  // namespace klangor
