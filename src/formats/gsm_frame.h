#pragma once
// The parameters of one GSM 06.10 frame and their common 33-byte packing: the signature 0xD
// in the first byte's high nibble, then the 260 parameter bits, most significant bit first:
// LARc[1..8] in 6, 6, 5, 5, 4, 4, 3, 3 bits, then per sub-frame Nc (7), bc (2), Mc (2),
// xmaxc (6) and 13 x xMc (3).

#include <array>
#include <cstdint>

#include "formats/gsm_lpc.h"
#include "formats/gsm_rpe.h"

namespace klangor {

inline constexpr int kGsmFrameBytes = 33;
inline constexpr int kGsmSubframes = 4;

struct LGsmSubframe {
  int16_t nc = 40;  // long-term lag
  int16_t bc = 0;   // long-term gain code
  LGsmRpeCodes rpe;
};

struct LGsmParameters {
  LGsmLarCodes larc{};
  std::array<LGsmSubframe, kGsmSubframes> subframes{};
};

// Fields wider than their bits keep their low bits.
void PackGsmFrame(const LGsmParameters& parameters, uint8_t* bytes);
// Reads 33 bytes; the signature is not checked.
void UnpackGsmFrame(const uint8_t* bytes, LGsmParameters* parameters);

}  // namespace klangor
