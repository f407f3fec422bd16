#include "store/sound_document.h"

#include <algorithm>

namespace klangor {

bool LSoundDocument::HasSelection() const {
  return selectionStart < selectionEnd && !(selectionStart == 0 && selectionEnd == 0);
}

void LSoundDocument::SetSelection(int32_t a, int32_t b, int32_t newCursor) {
  selectionStart = std::min(a, b);
  selectionEnd = std::max(a, b);
  cursor = newCursor;
}

void LSoundDocument::ClampSelection() {
  selectionStart = std::max(selectionStart, 0);
  selectionEnd = std::min(selectionEnd, Length());
}

void LSoundDocument::LengthChanged() {
  const int32_t length = Length();
  if (length == 0) {
    visibleStart = 0;
    visibleEnd = sound.SampleRate();
    return;
  }
  if (visibleEnd > length) visibleEnd = length;
  if (visibleStart > length) visibleStart = 0;
}

}  // namespace klangor
