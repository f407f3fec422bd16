#pragma once
// Undo and redo: every document carries a fixed ring of eight snapshots.
//
// A snapshot is a copy of the document's segment list plus its modified flag, selection,
// cursor and visible range. Copying a list copies only segment nodes (each holds a block
// reference), so no audio is copied and the old blocks stay alive while a slot refers to them.
// A slot with an empty name is empty; emptying a slot clears its list and so releases its
// blocks.
//
// A push empties the two slots ahead of the new one, and the first undo after a push saves the
// present state ("Redo") in one of them, so at most five edits can be undone in a row, and
// everything undone can be redone until the next push. All of this runs on the thread that
// owns the document.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/segment_list.h"

namespace klangor {

class LSoundDocument;

inline constexpr int32_t kUndoSlotCount = 8;
// Operation names are cut to this many characters.
inline constexpr size_t kMaxUndoNameCharacters = 259;

struct LUndoSlot {
  LSegmentList sound;
  bool modified = false;
  int32_t selectionStart = 0;
  int32_t selectionEnd = 0;
  int32_t cursor = 0;
  int32_t visibleStart = 0;
  int32_t visibleEnd = 0;
  std::string name;  // empty: the slot is empty

  bool Empty() const { return name.empty(); }
  void Clear() {
    name.clear();
    sound.Clear();
  }
};

struct LUndoRing {
  int32_t index = 0;  // the current slot, 0..7
  std::array<LUndoSlot, kUndoSlotCount> slots;

  // The slot `offset` steps from the current one (offset may be negative).
  LUndoSlot& At(int32_t offset);
  const LUndoSlot& At(int32_t offset) const;
};

// Records the state before an operation named `name` (cut to 259 characters). A push with an
// empty name stores an empty slot, which undo passes over.
void PushUndo(LSoundDocument& document, std::string_view name);
// Restores the state before the last operation; false when there is nothing to undo.
bool Undo(LSoundDocument& document);
// Re-applies the last undone operation; false when there is nothing to redo.
bool Redo(LSoundDocument& document);

bool CanUndo(const LSoundDocument& document);
bool CanRedo(const LSoundDocument& document);
// "Rückgängig <name>\tCtrl+Z" with the name of the operation an undo reverts (empty when none).
std::string UndoMenuText(const LSoundDocument& document);
// "Wiederholen <name>\tCtrl+Y" with the name of the operation a redo re-applies (empty when
// none).
std::string RedoMenuText(const LSoundDocument& document);


}  // namespace klangor
