#pragma once
// Part 3 of a granule's main data: the Huffman-coded quantised spectral values, with the code
// tables of ISO/IEC 11172-3 (Table 3-B.7).

#include <cstdint>

#include "formats/mp3_bits.h"
#include "formats/mp3_tables.h"

namespace klangor {

// One code table of the standard: the code and its length for the pair (x, y) at x * size + y,
// or for the count-1 quadruple (v, w, x, y) at v * 8 + w * 4 + x * 2 + y.
struct LMp3CodeTable {
  int size = 0;      // values per dimension; 0 for the numbers the standard leaves out (4, 14)
  int linbits = 0;   // escape bits after a value of 15
  const uint16_t* codes = nullptr;
  const uint8_t* lengths = nullptr;
};

inline constexpr int kMp3Count1TableA = 32;
inline constexpr int kMp3Count1TableB = 33;

// Tables 0..31 code the big values (16..23 share the codes of 16, 24..31 those of 24);
// kMp3Count1TableA and kMp3Count1TableB code the count-1 region (size 16, one value per code).
LMp3CodeTable Mp3CodeTable(int table);

// Where the regions of one granule channel lie and how each is coded.
struct LMp3SpectrumLayout {
  int bigValueLines = 0;  // twice big_values
  int region1Start = 0;   // first line of region 1, then of region 2
  int region2Start = 0;
  int tables[3] = {0, 0, 0};
  bool count1TableB = false;
};

// Decodes one granule channel's Huffman code from the reader's position up to bit `endBit`
// into kMp3GranuleLines values. Each quantised value v comes out as sign(v) |v|^(4/3), the
// first step of requantisation. Returns how many leading values may be non-zero (the rest are
// zero), or -1 when the code is damaged: a table the standard leaves out, a code that is not in
// its table, or big values running past `endBit`. Damaged values are all zero.
int DecodeMp3Spectrum(LMp3BitReader& bits, int64_t endBit, const LMp3SpectrumLayout& layout,
                      float values[kMp3GranuleLines]);

}  // namespace klangor
