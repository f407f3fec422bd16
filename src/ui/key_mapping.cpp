#include "ui/key_mapping.h"

#include <QKeyEvent>

#include "frame/key_code.h"

namespace klangor {

uint32_t VirtualKeyOf(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return KeyChar(static_cast<char>('A' + (key - Qt::Key_A)));
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return KeyChar(static_cast<char>('0' + (key - Qt::Key_0)));
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return KeyF(key - Qt::Key_F1 + 1);
  switch (key) {
    case Qt::Key_Backspace: return kVkBack;
    case Qt::Key_Tab: return kVkTab;
    case Qt::Key_Return: case Qt::Key_Enter: return kVkReturn;
    case Qt::Key_Shift: return kVkShift;
    case Qt::Key_Control: return kVkControl;
    case Qt::Key_Alt: return kVkMenu;
    case Qt::Key_Escape: return kVkEscape;
    case Qt::Key_Space: return kVkSpace;
    case Qt::Key_PageUp: return kVkPrior;
    case Qt::Key_PageDown: return kVkNext;
    case Qt::Key_End: return kVkEnd;
    case Qt::Key_Home: return kVkHome;
    case Qt::Key_Left: return kVkLeft;
    case Qt::Key_Up: return kVkUp;
    case Qt::Key_Right: return kVkRight;
    case Qt::Key_Down: return kVkDown;
    case Qt::Key_Insert: return kVkInsert;
    case Qt::Key_Delete: return kVkDelete;
    case Qt::Key_Plus: return kVkOemPlus;
    case Qt::Key_Minus: return kVkOemMinus;
    default: return 0;
  }
}

uint32_t KeyCodeOf(const QKeyEvent& event) {
  uint32_t key = VirtualKeyOf(event.key());
  if (key == 0) return 0;
  const Qt::KeyboardModifiers modifiers = event.modifiers();
  // The number pad's "+" and "-" have their own numbers.
  if (modifiers & Qt::KeypadModifier) {
    if (key == kVkOemPlus) key = kVkAdd;
    if (key == kVkOemMinus) key = kVkSubtract;
  }
  uint32_t code = key;
  if (modifiers & Qt::ControlModifier) code |= kKeyCtrl;
  if (modifiers & Qt::AltModifier) code |= kKeyAlt;
  // "+" needs Shift on many layouts; Ctrl and "+" counts as Ctrl+Plus however it was typed.
  if ((modifiers & Qt::ShiftModifier) && event.key() != Qt::Key_Plus) code |= kKeyShift;
  return code;
}

}  // namespace klangor
