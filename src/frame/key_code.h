#pragma once
// Key codes as the key table and "keys.dat" store them: a virtual-key number with modifier
// bits. The numbers are the classic virtual-key codes (letters and digits are their upper-case
// character), so a "keys.dat" written by any version of the program keeps its meaning.

#include <cstdint>
#include <string>

namespace klangor {

inline constexpr uint32_t kKeyAlt = 0x10000;
inline constexpr uint32_t kKeyCtrl = 0x20000;
inline constexpr uint32_t kKeyShift = 0x40000;
inline constexpr uint32_t kKeyModifiers = kKeyAlt | kKeyCtrl | kKeyShift;

enum LVirtualKey : uint32_t {
  kVkBack = 0x08,
  kVkTab = 0x09,
  kVkReturn = 0x0D,
  kVkShift = 0x10,
  kVkControl = 0x11,
  kVkMenu = 0x12,  // Alt
  kVkEscape = 0x1B,
  kVkSpace = 0x20,
  kVkPrior = 0x21,
  kVkNext = 0x22,
  kVkEnd = 0x23,
  kVkHome = 0x24,
  kVkLeft = 0x25,
  kVkUp = 0x26,
  kVkRight = 0x27,
  kVkDown = 0x28,
  kVkInsert = 0x2D,
  kVkDelete = 0x2E,
  kVkAdd = 0x6B,       // "+" of the number pad
  kVkSubtract = 0x6D,  // "-" of the number pad
  kVkF1 = 0x70,        // F2..F12 follow
  kVkOemPlus = 0xBB,   // "+" of the main keys
  kVkOemMinus = 0xBD,  // "-" of the main keys
};

constexpr uint32_t KeyF(int n) { return kVkF1 + static_cast<uint32_t>(n - 1); }
constexpr uint32_t KeyChar(char c) { return static_cast<uint32_t>(c); }  // 'A'..'Z', '0'..'9'

// The key as menus show it: "Ctrl+Shift+A", "F9", "Delete", "Ctrl+Plus".
std::string KeyText(uint32_t code);

}  // namespace klangor
