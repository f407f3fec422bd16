#include "edit/edit_dialogs.h"

#include <algorithm>
#include <limits>

#include "audio/sample_format.h"
#include "audio/time_units.h"
#include "frame/time_text.h"
#include "platform/text.h"
#include "settings/settings_keys.h"

namespace klangor {

int32_t FieldToInt(const std::string& text) { return SaturatingIntOfText(text); }

int32_t LSilenceDialog::LengthMs() const { return kSilenceTimes.range.Clamp(FieldToInt(lengthText)); }

int32_t LRepeatDialog::Count() const { return kRepeatNumTimes.range.Clamp(FieldToInt(countText)); }

LRangeDialog::LRangeDialog(LRef<LSoundDocument> document, std::function<void()> redraw,
                           std::function<void(const LSegmentList&)> preview)
    : document_(std::move(document)),
      redraw_(std::move(redraw)),
      preview_(std::move(preview)),
      startText_(FormatTimeText(FramesToMs(document_->selectionStart, document_->sound.SampleRate()))),
      endText_(FormatTimeText(FramesToMs(document_->selectionEnd, document_->sound.SampleRate()))) {}

int32_t LRangeDialog::FramesOf(const std::string& text) const {
  int64_t frames = MsToFrames(ParseTimeText(text), document_->sound.SampleRate());
  return SaturateToInt32(frames);
}

void LRangeDialog::SetStartText(const std::string& text) {
  startText_ = text;
  if (text.empty()) return;
  document_->selectionStart = FramesOf(text);
  if (redraw_) redraw_();
}

void LRangeDialog::SetEndText(const std::string& text) {
  endText_ = text;
  if (text.empty()) return;
  document_->selectionEnd = FramesOf(text);
  if (redraw_) redraw_();
}

void LRangeDialog::Preview() const {
  if (!preview_) return;
  LSegmentList piece = document_->sound;
  piece.Crop(document_->selectionStart, document_->selectionEnd);
  preview_(piece);
}

void LRangeDialog::Apply() {
  document_->selectionStart = FramesOf(startText_);
  document_->selectionEnd = FramesOf(endText_);
  if (redraw_) redraw_();
}

}  // namespace klangor
