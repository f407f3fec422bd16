#pragma once
// The one rule from a volume in dB (a signed byte) to a device or mixer level: 0 at or below
// -36 dB, otherwise (dB + 36) x 1424, at most 65535. 0 dB gives 51264, +10 dB 65504.

#include <cstdint>

namespace klangor {

inline uint16_t DbToLevel(int db) {
  if (db <= -36) return 0;
  const int32_t level = (db + 36) * 1424;
  return static_cast<uint16_t>(level > 65535 ? 65535 : level);
}

// A dB value after a step, kept within the signed byte's -127..127.
inline int ClampDb(int db) { return db < -127 ? -127 : (db > 127 ? 127 : db); }

}  // namespace klangor
