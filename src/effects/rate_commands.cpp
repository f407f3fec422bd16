#include "effects/rate_commands.h"

#include <algorithm>

#include "audio/time_units.h"
#include "dsp/processing_pump.h"
#include "frame/command_steps.h"
#include "frame/edit_frame.h"
#include "settings/settings_keys.h"
#include "store/block_store.h"
#include "store/block_writer.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

// The frame at the same time at the new rate, within the new sound.
int32_t MovedFrame(int32_t frame, int32_t oldRate, int32_t newRate, int32_t newLength) {
  const int64_t moved = MsToFrames(FramesToMs(frame, oldRate), newRate);
  return static_cast<int32_t>(std::clamp<int64_t>(moved, 0, newLength));
}

void RunConversion(LCommandContext& context, LSoundDocument& document, int32_t sampleRate, int channels,
                   const std::string& undoName) {
  if (!ConversionFits(document, sampleRate, channels, context.ui.FreeBytes(LBlockStore::Instance().WorkingFolder()))) {
    context.ui.Message(LowSpaceMessage(undoName), kLowSpaceCaption, LButtons::kOk, LIcon::kInformation);
    return;
  }
  BeginEdit(context.frame, undoName);
  const LResult result = context.ui.RunWithProgress(kConvertProgressTitle, [&](LProgress& progress) {
    return ConvertDocumentFormat(document, sampleRate, channels, progress);
  });
  if (result == LResult::kDone) {
    if (document.sound.Channels() == 1) document.displayMode = 0;
    FinishEdit(context, undoName, document.selectionStart, 0);
  }
  context.frame.RedrawActiveDocument();
}

}  // namespace

LResult ConvertDocumentFormat(LSoundDocument& document, int32_t sampleRate, int channels, LProgress& progress) {
  const int32_t oldRate = document.sound.SampleRate();
  if (oldRate == sampleRate && document.sound.Channels() == channels) return LResult::kDone;
  if (sampleRate <= 0 || channels < 1 || channels > 255) return LResult::kFailed;
  LSegmentList result(sampleRate, channels);
  const LResult outcome = WriteBlock(sampleRate, channels, result, [&](LSoundSink& sink) {
    return ProcessingPump(kConvertProgressTitle, OpenSegmentStream(document.sound), sink, progress);
  });
  if (outcome != LResult::kDone) return outcome;
  result.SetFormat(sampleRate, channels);
  document.sound = result;
  const int32_t length = document.Length();
  for (int32_t* position : {&document.selectionStart, &document.selectionEnd, &document.cursor,
                            &document.visibleStart, &document.visibleEnd, &document.firstMark, &document.secondMark}) {
    *position = MovedFrame(*position, oldRate, sampleRate, length);
  }
  document.LengthChanged();
  return LResult::kDone;
}

LRef<LSoundStream> ConvertedResult(LRef<LSoundStream> source, int32_t sampleRate, int channels) {
  if (source->SampleRate() == sampleRate && source->Channels() == channels) return source;
  if (sampleRate <= 0 || channels < 1 || channels > 255) return {};
  return MakePumpedStream(std::move(source), sampleRate, channels);
}

bool ConversionFits(const LSoundDocument& document, int32_t sampleRate, int channels, int64_t freeBytes) {
  const int64_t frames =
      int64_t{document.Length()} * std::max(sampleRate, 1) / std::max(document.sound.SampleRate(), 1) + 1;
  return freeBytes < 0 || BlockBytes(frames, channels) <= freeBytes;
}

std::string LSampleRateDialog::Validate() {
  return kConvertSampleRate.range.Contains(sampleRate) ? "" : kRangeMessage;
}

void SampleRateCommand(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  LSampleRateDialog dialog(document->sound.SampleRate());
  if (!context.ui.RunDialog(dialog)) return;
  if (dialog.sampleRate == document->sound.SampleRate()) return;
  RunConversion(context, *document, dialog.sampleRate, document->sound.Channels(), kConvertRateUndoName);
}

void ChannelCommand(LCommandContext& context, int channels) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  context.frame.StopPlayback();
  if (document->sound.Channels() == channels) return;
  RunConversion(context, *document, document->sound.SampleRate(), channels, kConvertChannelsUndoName);
}

}  // namespace klangor
