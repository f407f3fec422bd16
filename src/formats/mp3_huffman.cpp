#include "formats/mp3_huffman.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace klangor {
namespace {

// Codes are decoded by table lookup: the next bits index a level; an entry is either the
// decoded value with the whole code's length, or a link to a deeper level for longer codes.
// Entry layout: leaf = kLeaf | length << 16 | value (x << 4 | y, or the count-1 quadruple);
// link = kLink | bits << 24 | offset of the level; 0 = no code starts with these bits.
constexpr uint32_t kLeaf = 0x80000000u;
constexpr uint32_t kLink = 0x40000000u;
constexpr int kRootBits = 8;
constexpr int kLevelBits = 6;

struct LCode {
  uint32_t code;
  int length;
  uint32_t value;
};

struct LLookup {
  std::vector<uint32_t> entries;
  int rootBits = 0;
};

void BuildLevel(LLookup& lookup, size_t level, int levelBits, int used, const std::vector<LCode>& codes) {
  std::vector<std::vector<LCode>> deeper(size_t{1} << levelBits);
  for (const LCode& c : codes) {
    const int rest = c.length - used;  // bits after the ones the levels above consumed
    const uint32_t tail = c.code & ((1u << rest) - 1);
    if (rest <= levelBits) {
      const uint32_t first = tail << (levelBits - rest);
      const uint32_t leaf = kLeaf | static_cast<uint32_t>(c.length) << 16 | c.value;
      for (uint32_t i = 0; i < (1u << (levelBits - rest)); ++i) lookup.entries[level + first + i] = leaf;
    } else {
      deeper[tail >> (rest - levelBits)].push_back(c);
    }
  }
  for (size_t index = 0; index < deeper.size(); ++index) {
    if (deeper[index].empty()) continue;
    int longest = 0;
    for (const LCode& c : deeper[index]) longest = std::max(longest, c.length - used - levelBits);
    const int bits = std::min(longest, kLevelBits);
    const size_t sub = lookup.entries.size();
    lookup.entries.resize(sub + (size_t{1} << bits), 0);
    lookup.entries[level + index] = kLink | static_cast<uint32_t>(bits) << 24 | static_cast<uint32_t>(sub);
    BuildLevel(lookup, sub, bits, used + levelBits, deeper[index]);
  }
}

LLookup BuildLookup(const LMp3CodeTable& table) {
  LLookup lookup;
  std::vector<LCode> codes;
  int longest = 0;
  for (int i = 0; i < table.size * table.size; ++i) {
    const auto x = static_cast<uint32_t>(i / table.size);
    const auto y = static_cast<uint32_t>(i % table.size);
    codes.push_back({table.codes[i], table.lengths[i], x << 4 | y});
    longest = std::max(longest, static_cast<int>(table.lengths[i]));
  }
  lookup.rootBits = std::min(longest, kRootBits);
  lookup.entries.assign(size_t{1} << lookup.rootBits, 0);
  BuildLevel(lookup, 0, lookup.rootBits, 0, codes);
  return lookup;
}

// The lookups of the big-value code tables (by the table that owns the codes) and of count-1
// table A, built once per process.
struct LLookups {
  std::array<LLookup, 32> pairs;
  LLookup quadsA;
};

const LLookups& Lookups() {
  static const std::unique_ptr<LLookups> lookups = [] {
    auto all = std::make_unique<LLookups>();
    for (int t = 1; t < 32; ++t) {
      LMp3CodeTable table = Mp3CodeTable(t);
      if (table.size == 0 || t > 24 || (t > 16 && t < 24)) continue;  // 17..23, 25..31 share
      all->pairs[static_cast<size_t>(t)] = BuildLookup(table);
    }
    LMp3CodeTable a = Mp3CodeTable(kMp3Count1TableA);
    std::vector<LCode> codes;
    for (uint32_t v = 0; v < 16; ++v) codes.push_back({a.codes[v], a.lengths[v], v});
    all->quadsA.rootBits = 6;
    all->quadsA.entries.assign(64, 0);
    BuildLevel(all->quadsA, 0, 6, 0, codes);
    return all;
  }();
  return *lookups;
}

// The value of the code at the start of `window`, or -1 when the table has no code that
// starts with those bits. `*length` receives the code's length.
inline int LookupCode(uint64_t window, const LLookup& lookup, int* length) {
  size_t level = 0;
  int levelBits = lookup.rootBits;
  int used = 0;
  for (;;) {
    const uint32_t entry = lookup.entries[level + static_cast<size_t>((window << used) >> (64 - levelBits))];
    if (entry & kLeaf) {
      *length = static_cast<int>((entry >> 16) & 0xFF);
      return static_cast<int>(entry & 0xFF);
    }
    if (entry == 0) return -1;
    used += levelBits;
    levelBits = static_cast<int>((entry >> 24) & 0xF);
    level = entry & 0xFFFFFF;
  }
}

// A magnitude with its escape bits and sign, taken from `window` at bit `*used`, as
// sign |v|^(4/3). Written without branches on the value: zeros and signs do not predict.
template <bool kEscapes>
inline float FinishValue(uint64_t window, int magnitude, int linbits, const float* powers, int* used) {
  if (kEscapes && magnitude == 15) {
    magnitude += static_cast<int>((window << *used) >> (64 - linbits));
    *used += linbits;
  }
  const int nonZero = magnitude != 0;
  const auto sign = static_cast<uint32_t>((window << *used) >> 63) & static_cast<uint32_t>(nonZero);
  *used += nonZero;
  uint32_t bits;
  std::memcpy(&bits, &powers[magnitude], sizeof bits);
  bits ^= sign << 31;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The pairs of lines [line, end) coded with `lookup`; false on a code the table lacks.
template <bool kEscapes>
bool DecodePairs(LMp3BitReader& reader, const LLookup& lookup, int linbits, const float* powers,
                 float* values, int line, int end) {
  LMp3BitReader bits = reader;  // kept in registers through the loop
  if (!kEscapes) {
    // Without escapes a pair takes at most 21 bits (a 19-bit code and two signs), so one
    // 64-bit window (57 bits of the stream at least) holds two pairs.
    for (; line + 4 <= end; line += 4) {
      const uint64_t window = bits.Peek64();
      int used = 0;
      const int first = LookupCode(window, lookup, &used);
      if (first < 0) return false;
      values[line] = FinishValue<false>(window, first >> 4, 0, powers, &used);
      values[line + 1] = FinishValue<false>(window, first & 15, 0, powers, &used);
      int length = 0;
      const int second = LookupCode(window << used, lookup, &length);
      if (second < 0) return false;
      used += length;
      values[line + 2] = FinishValue<false>(window, second >> 4, 0, powers, &used);
      values[line + 3] = FinishValue<false>(window, second & 15, 0, powers, &used);
      bits.Skip(used);
    }
  }
  for (; line < end; line += 2) {
    // One 64-bit window holds a whole pair: a code of at most 19 bits, two escapes of at most
    // 13 bits and two signs.
    const uint64_t window = bits.Peek64();
    int used = 0;
    const int pair = LookupCode(window, lookup, &used);
    if (pair < 0) return false;
    values[line] = FinishValue<kEscapes>(window, pair >> 4, linbits, powers, &used);
    values[line + 1] = FinishValue<kEscapes>(window, pair & 15, linbits, powers, &used);
    bits.Skip(used);
  }
  reader = bits;
  return true;
}

int Fail(float values[kMp3GranuleLines]) {
  std::fill_n(values, kMp3GranuleLines, 0.0f);
  return -1;
}

}  // namespace

int DecodeMp3Spectrum(LMp3BitReader& bits, int64_t endBit, const LMp3SpectrumLayout& layout,
                      float values[kMp3GranuleLines]) {
  const LLookups& lookups = Lookups();
  const float* powers = Mp3Tables().powerFourThirds;
  const int bigEnd = std::clamp(layout.bigValueLines, 0, kMp3GranuleLines);
  const int regionEnd[3] = {std::min(layout.region1Start, bigEnd), std::min(layout.region2Start, bigEnd), bigEnd};
  int line = 0;
  for (int region = 0; region < 3; ++region) {
    const int table = layout.tables[region];
    const int end = std::max(regionEnd[region], line);
    if (table == 0) {
      std::fill(values + line, values + end, 0.0f);
      line = end;
      continue;
    }
    const LMp3CodeTable codes = Mp3CodeTable(table);
    if (codes.size == 0) return Fail(values);
    const LLookup& lookup = lookups.pairs[table >= 24 ? 24 : table >= 16 ? 16 : table];
    const bool decoded = codes.linbits > 0
                             ? DecodePairs<true>(bits, lookup, codes.linbits, powers, values, line, end)
                             : DecodePairs<false>(bits, lookup, 0, powers, values, line, end);
    if (!decoded) return Fail(values);
    line = end;
  }
  if (bits.Position() > endBit) return Fail(values);

  // Count-1 region: quadruples of -1, 0 and 1 until the granule's bits are used up. A
  // quadruple that ends past them is not part of the granule.
  const LLookup& quads = lookups.quadsA;
  while (line + 4 <= kMp3GranuleLines && bits.Position() < endBit) {
    const uint64_t window = bits.Peek64();
    int used = 4;
    int quad;
    if (layout.count1TableB) {
      quad = static_cast<int>(window >> 60) ^ 15;
    } else {
      quad = LookupCode(window, quads, &used);
      if (quad < 0) return Fail(values);
    }
    float v[4];
    for (int i = 0; i < 4; ++i) v[i] = FinishValue<false>(window, (quad >> (3 - i)) & 1, 0, powers, &used);
    bits.Skip(used);
    if (bits.Position() > endBit) break;
    std::copy(v, v + 4, values + line);
    line += 4;
  }
  std::fill(values + line, values + kMp3GranuleLines, 0.0f);
  return line;
}

}  // namespace klangor
