#pragma once
// The compressor's gain table: 256 Q24 gains indexed by level byte + 128.
//
// Built from a lower level T1, an upper level T2 and a factor f per decibel. The gain g
// starts at 2^24, divided by f^-T1 when T1 is negative, so that a window at level 0 passes at
// unity. Levels below T1 all get g; from T1 up to below T2 each level gets g and g is then
// multiplied by f; from there up to 127 each level gets g and g is then multiplied by
// 0.8913 (1 dB less per dB). Entries are truncated to integers and capped at the largest
// 32-bit value (a low threshold with a steep ratio asks for more than that).
// A factor that is not a positive finite number counts as 1.0 (a flat table).

#include <array>
#include <cstddef>
#include <cstdint>

namespace klangor {

using LGainTable = std::array<int32_t, 256>;

LGainTable BuildGainTable(int lowerLevel, int upperLevel, double factor);

// The entry for a level byte (clamped to -128..127).
inline int32_t GainForLevel(const LGainTable& table, int level) {
  const int index = level < -128 ? 0 : (level > 127 ? 255 : level + 128);
  return table[static_cast<size_t>(index)];
}

}  // namespace klangor
