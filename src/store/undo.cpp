#include "store/undo.h"

#include "platform/text.h"
#include "store/sound_document.h"

namespace klangor {
namespace {

int32_t RingIndex(int32_t index) {
  return ((index % kUndoSlotCount) + kUndoSlotCount) % kUndoSlotCount;
}

void Restore(LSoundDocument& document, const LUndoSlot& slot) {
  document.sound = slot.sound;
  document.modified = slot.modified;
  document.selectionStart = slot.selectionStart;
  document.selectionEnd = slot.selectionEnd;
  document.cursor = slot.cursor;
  document.visibleStart = slot.visibleStart;
  document.visibleEnd = slot.visibleEnd;
}

void StepBack(LUndoRing& ring) { ring.index = RingIndex(ring.index - 1); }

}  // namespace

LUndoSlot& LUndoRing::At(int32_t offset) {
  return slots[RingIndex(RingIndex(index) + offset % kUndoSlotCount)];
}

const LUndoSlot& LUndoRing::At(int32_t offset) const {
  return slots[RingIndex(RingIndex(index) + offset % kUndoSlotCount)];
}

void PushUndo(LSoundDocument& document, std::string_view name) {
  LUndoRing& ring = document.undo;
  ring.index = RingIndex(ring.index + 1);
  LUndoSlot& slot = ring.slots[ring.index];
  slot.sound.Clear();  // release the old snapshot's blocks before taking new references
  slot.sound = document.sound;
  slot.modified = document.modified;
  slot.selectionStart = document.selectionStart;
  slot.selectionEnd = document.selectionEnd;
  slot.cursor = document.cursor;
  slot.visibleStart = document.visibleStart;
  slot.visibleEnd = document.visibleEnd;
  slot.name = CutToCharacters(name, kMaxUndoNameCharacters);
  ring.At(1).Clear();
  ring.At(2).Clear();
}

bool Undo(LSoundDocument& document) {
  LUndoRing& ring = document.undo;
  ring.index = RingIndex(ring.index);
  if (ring.At(0).Empty()) return false;
  if (ring.At(1).Empty()) {
    // Nothing was undone since the last push: keep the present state for a redo.
    PushUndo(document, "Redo");
    StepBack(ring);
  }
  Restore(document, ring.At(0));
  StepBack(ring);
  return true;
}

bool Redo(LSoundDocument& document) {
  LUndoRing& ring = document.undo;
  ring.index = RingIndex(ring.index);
  const LUndoSlot& slot = ring.At(2);
  if (slot.Empty()) return false;
  Restore(document, slot);
  ring.index = RingIndex(ring.index + 1);
  return true;
}

bool CanUndo(const LSoundDocument& document) { return !document.undo.At(0).Empty(); }

bool CanRedo(const LSoundDocument& document) { return !document.undo.At(2).Empty(); }

std::string UndoMenuText(const LSoundDocument& document) {
  return "Rückgängig " + document.undo.At(0).name + "\tCtrl+Z";
}

std::string RedoMenuText(const LSoundDocument& document) {
  std::string text = "Wiederholen ";
  if (CanRedo(document)) text += document.undo.At(1).name;
  return text + "\tCtrl+Y";
}

}  // namespace klangor
