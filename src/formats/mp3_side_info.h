#pragma once
// The side information of a Layer III frame: where its main data begins in the bit reservoir
// and, per granule and channel, how the main data is coded (ISO/IEC 11172-3; ISO/IEC 13818-3
// for the single granule of the lower sample rates).

#include <cstdint>

#include "formats/mp3_header.h"

namespace klangor {

enum class LMp3BlockType : uint8_t { kNormal = 0, kStart = 1, kShort = 2, kStop = 3 };

struct LMp3GranuleInfo {
  int part23Bits = 0;       // scale factors plus Huffman code bits
  int bigValues = 0;        // pairs in the big-value regions (at most 288)
  int globalGain = 0;
  int scalefacCompress = 0;
  LMp3BlockType blockType = LMp3BlockType::kNormal;
  bool mixed = false;       // short blocks above the lowest two subbands only
  int tables[3] = {0, 0, 0};
  int subblockGain[3] = {0, 0, 0};
  int region0Count = 0;
  int region1Count = 0;
  bool preflag = false;     // MPEG-1 from the stream, MPEG-2 from scalefacCompress
  bool scalefacScale = false;
  bool count1TableB = false;

  bool ShortBlocks() const { return blockType == LMp3BlockType::kShort; }
};

struct LMp3SideInfo {
  int mainDataBegin = 0;    // bytes of main data taken from earlier frames
  bool scfsi[2][4] = {};    // MPEG-1: granule 1 reuses granule 0's scale factors per group
  LMp3GranuleInfo granules[2][2];  // [granule][channel]
};

// Reads the side information that follows the header (and CRC) of `frame`, whose first
// header.SideInfoOffset() + header.SideInfoBytes() bytes must be present. False when the
// fields contradict each other (more than 288 big-value pairs, window switching with a
// normal block): such a frame cannot be decoded.
bool ReadMp3SideInfo(const uint8_t* frame, const LMp3Header& header, LMp3SideInfo* info);

}  // namespace klangor
