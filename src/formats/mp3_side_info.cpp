#include "formats/mp3_side_info.h"

#include "formats/mp3_bits.h"

namespace klangor {
namespace {

constexpr int kMaxBigValues = 288;

bool ReadGranule(LMp3BitReader& bits, bool mpeg1, LMp3GranuleInfo* g) {
  g->part23Bits = static_cast<int>(bits.Read(12));
  g->bigValues = static_cast<int>(bits.Read(9));
  g->globalGain = static_cast<int>(bits.Read(8));
  g->scalefacCompress = static_cast<int>(bits.Read(mpeg1 ? 4 : 9));
  const bool windowSwitching = bits.ReadBit();
  if (windowSwitching) {
    g->blockType = static_cast<LMp3BlockType>(bits.Read(2));
    g->mixed = bits.ReadBit();
    g->tables[0] = static_cast<int>(bits.Read(5));
    g->tables[1] = static_cast<int>(bits.Read(5));
    g->tables[2] = 0;
    for (int& gain : g->subblockGain) gain = static_cast<int>(bits.Read(3));
    // Implicit regions: the first ends at the 8th long band (or at line 36 for short blocks),
    // the second covers the rest of the big values.
    g->region0Count = 7;
    g->region1Count = 36;
  } else {
    g->blockType = LMp3BlockType::kNormal;
    g->mixed = false;
    for (int& table : g->tables) table = static_cast<int>(bits.Read(5));
    for (int& gain : g->subblockGain) gain = 0;
    g->region0Count = static_cast<int>(bits.Read(4));
    g->region1Count = static_cast<int>(bits.Read(3));
  }
  g->preflag = mpeg1 ? bits.ReadBit() : false;
  g->scalefacScale = bits.ReadBit();
  g->count1TableB = bits.ReadBit();
  if (g->bigValues > kMaxBigValues) return false;
  if (windowSwitching && g->blockType == LMp3BlockType::kNormal) return false;
  return true;
}

}  // namespace

bool ReadMp3SideInfo(const uint8_t* frame, const LMp3Header& header, LMp3SideInfo* info) {
  const int offset = header.SideInfoOffset();
  // The side information is at most 32 bytes; the reader needs padding after it, so copy.
  uint8_t bytes[32 + kMp3BitPaddingBytes] = {};
  for (int i = 0; i < header.SideInfoBytes(); ++i) bytes[i] = frame[offset + i];
  LMp3BitReader bits(bytes, header.SideInfoBytes());
  const bool mpeg1 = header.Mpeg1();
  const int channels = header.Channels();
  info->mainDataBegin = static_cast<int>(bits.Read(mpeg1 ? 9 : 8));
  bits.Skip(mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2));  // private bits
  for (int ch = 0; ch < 2; ++ch) {
    for (int band = 0; band < 4; ++band) {
      info->scfsi[ch][band] = mpeg1 && ch < channels && bits.ReadBit();
    }
  }
  bool valid = true;
  for (int gr = 0; gr < header.Granules(); ++gr) {
    for (int ch = 0; ch < channels; ++ch) {
      valid = ReadGranule(bits, mpeg1, &info->granules[gr][ch]) && valid;
    }
  }
  return valid;
}

}  // namespace klangor
