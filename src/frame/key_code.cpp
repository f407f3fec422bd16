#include "frame/key_code.h"

#include <string>

namespace klangor {

std::string KeyText(uint32_t code) {
  std::string text;
  if (code & kKeyCtrl) text += "Ctrl+";
  if (code & kKeyAlt) text += "Alt+";
  if (code & kKeyShift) text += "Shift+";
  const uint32_t key = code & ~kKeyModifiers;
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return text + static_cast<char>(key);
  if (key >= kVkF1 && key < kVkF1 + 24) return text + "F" + std::to_string(key - kVkF1 + 1);
  switch (key) {
    case kVkBack: return text + "Backspace";
    case kVkTab: return text + "Tab";
    case kVkReturn: return text + "Enter";
    case kVkEscape: return text + "Esc";
    case kVkSpace: return text + "Space";
    case kVkPrior: return text + "PgUp";
    case kVkNext: return text + "PgDown";
    case kVkEnd: return text + "End";
    case kVkHome: return text + "Home";
    case kVkLeft: return text + "Left";
    case kVkUp: return text + "Up";
    case kVkRight: return text + "Right";
    case kVkDown: return text + "Down";
    case kVkInsert: return text + "Ins";
    case kVkDelete: return text + "Delete";
    case kVkAdd: case kVkOemPlus: return text + "Plus";
    case kVkSubtract: case kVkOemMinus: return text + "Minus";
    case kVkShift: case kVkControl: case kVkMenu: return text.empty() ? text : text.substr(0, text.size() - 1);
    default: return text + "0x" + [key] {
      static const char kHex[] = "0123456789ABCDEF";
      std::string hex;
      for (int shift = 12; shift >= 0; shift -= 4) hex += kHex[(key >> shift) & 15];
      return hex;
    }();
  }
}

}  // namespace klangor
