#pragma once
// The dialogs of the editing commands, as models: their texts, fields and what they do with
// the document. The Qt forms show these models.

#include <cstdint>
#include <functional>
#include <string>

#include "frame/user_interface.h"
#include "store/sound_document.h"

namespace klangor {

// A whole number typed into a field: the digits at the start (after blanks and a sign), 0
// when there are none.
int32_t FieldToInt(const std::string& text);

// "Stille einfügen": the length of silence to insert, in milliseconds, brought into the range
// of "SilenceTimes" (0 to 10 minutes).
class LSilenceDialog final : public LDialogModel {
 public:
  static constexpr char kTitle[] = "Stille einfügen";
  static constexpr char kLengthLabel[] = "Länge (ms):";

  explicit LSilenceDialog(int32_t lengthMs) : lengthText(std::to_string(lengthMs)) {}
  std::string Title() const override { return kTitle; }
  int32_t LengthMs() const;

  std::string lengthText;
};

// "Loop wiederholen": how many more times the selection is inserted after itself, brought into
// the range of "RepeatNumTimes" (0 to 1000).
class LRepeatDialog final : public LDialogModel {
 public:
  static constexpr char kTitle[] = "Loop wiederholen";
  static constexpr char kCountLabel[] = "Anzahl der Wiederholungen:";

  explicit LRepeatDialog(int32_t count) : countText(std::to_string(count)) {}
  std::string Title() const override { return kTitle; }
  int32_t Count() const;

  std::string countText;
};

// "Bereich markieren": the selection's start and end as time texts. Every change of a field
// that is not empty moves the selection at once (and redraws); OK writes both fields as
// they stand, without reordering, so an end before the start leaves no selection.
class LRangeDialog final : public LDialogModel {
 public:
  static constexpr char kTitle[] = "Bereich markieren";
  static constexpr char kStartLabel[] = "Gewählter Bereich ist Start";
  static constexpr char kEndLabel[] = "Gewählter Bereich ist Ende";
  static constexpr char kPreviewButton[] = "Vorschau";

  // `redraw` is called after the selection moved; `preview` plays a sound. The dialog holds
  // the document it edits.
  LRangeDialog(LRef<LSoundDocument> document, std::function<void()> redraw,
               std::function<void(const LSegmentList&)> preview);
  std::string Title() const override { return kTitle; }

  const std::string& StartText() const { return startText_; }
  const std::string& EndText() const { return endText_; }
  void SetStartText(const std::string& text);
  void SetEndText(const std::string& text);
  // "Vorschau": plays the selected part of the sound.
  void Preview() const;
  // "OK": both fields become the selection as they stand.
  void Apply();

 private:
  int32_t FramesOf(const std::string& text) const;

  LRef<LSoundDocument> document_;
  std::function<void()> redraw_;
  std::function<void(const LSegmentList&)> preview_;
  std::string startText_;
  std::string endText_;
};

}  // namespace klangor
