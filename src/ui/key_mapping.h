#pragma once
// Qt's keys as the key table's codes (frame/key_code.h).

#include <cstdint>

class QKeyEvent;

namespace klangor {

// The virtual key of a Qt key, 0 for keys the table has no number for.
uint32_t VirtualKeyOf(int qtKey);
// The code of a key press: the virtual key with the held modifiers (0 when it has none).
uint32_t KeyCodeOf(const QKeyEvent& event);

}  // namespace klangor
