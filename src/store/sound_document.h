#pragma once
// LSoundDocument: the sound edited in one wave window, with its selection, cursor, visible
// range and marks. Holders (wave windows, the project) share it through LRef.
//
// Invariants the operations keep: a selection counts only when start < end and not both
// are 0; before a command uses the selection it is clamped to the sound; when the length
// changes the visible range is pulled back into the sound (one second for an empty sound).

#include <cstdint>
#include <string>
#include <vector>

#include "audio/ref_counted.h"
#include "store/bookmark.h"
#include "store/segment_list.h"
#include "store/tag_list.h"
#include "store/undo.h"

namespace klangor {

class LSoundDocument : public LRefCounted {
 public:
  LSoundDocument() = default;  // an empty 44100 Hz mono sound, all positions 0

  LSegmentList sound;
  bool modified = false;
  int32_t selectionStart = 0;  // inclusive
  int32_t selectionEnd = 0;    // exclusive
  int32_t cursor = 0;
  int32_t visibleStart = 0;
  int32_t visibleEnd = 0;
  LUndoRing undo;  // eight snapshots for undo and redo, see store/undo.h
  std::string fileName;  // the file loaded from or last saved to; empty for a new sound
  std::string name;      // what windows call a sound without a file name ("Unbenannt 1")
  LTagList tags;         // read from the file when it was opened, written out when saved
  bool verticalZoom = false;
  int32_t displayMode = 0;  // 0 all channels combined; 1 and 2 stereo channels apart
  int32_t firstMark = 0;
  int32_t secondMark = 0;
  std::vector<LBookmark> bookmarks;  // sorted by position

  int32_t Length() const { return sound.Length(); }
  bool HasSelection() const;
  // Selection from min(a, b) to max(a, b), and the cursor.
  void SetSelection(int32_t a, int32_t b, int32_t newCursor);
  // Start to at least 0, end to at most the length.
  void ClampSelection();
  // Pulls the visible range back into the sound after its length changed.
  void LengthChanged();
};

}  // namespace klangor
