#include "edit/edit_dialogs.h"

#include <algorithm>
#include <limits>

#include "audio/sample_format.h"
#include "audio/time_units.h"
#include "frame/time_text.h"

namespace klangor {

int32_t FieldToInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), std::numeric_limits<int32_t>::max());
  }
  return static_cast<int32_t>(negative ? -value : value);
}

LRangeDialog::LRangeDialog(LSoundDocument& document, std::function<void()> redraw,
                           std::function<void(const LSegmentList&)> preview)
    : document_(document),
      redraw_(std::move(redraw)),
      preview_(std::move(preview)),
      startText_(FormatTimeText(FramesToMs(document.selectionStart, document.sound.SampleRate()))),
      endText_(FormatTimeText(FramesToMs(document.selectionEnd, document.sound.SampleRate()))) {}

int32_t LRangeDialog::FramesOf(const std::string& text) const {
  int64_t frames = MsToFrames(ParseTimeText(text), document_.sound.SampleRate());
  return SaturateToInt32(frames);
}

void LRangeDialog::SetStartText(const std::string& text) {
  startText_ = text;
  if (text.empty()) return;
  document_.selectionStart = FramesOf(text);
  if (redraw_) redraw_();
}

void LRangeDialog::SetEndText(const std::string& text) {
  endText_ = text;
  if (text.empty()) return;
  document_.selectionEnd = FramesOf(text);
  if (redraw_) redraw_();
}

void LRangeDialog::Preview() const {
  if (!preview_) return;
  LSegmentList piece = document_.sound;
  piece.Crop(document_.selectionStart, document_.selectionEnd);
  preview_(piece);
}

void LRangeDialog::Apply() {
  document_.selectionStart = FramesOf(startText_);
  document_.selectionEnd = FramesOf(endText_);
  if (redraw_) redraw_();
}

}  // namespace klangor
