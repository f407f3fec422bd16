#include "formats/mp3_scalefactors.h"

#include <algorithm>
#include <iterator>

namespace klangor {
namespace {

constexpr int kSlen1[16] = {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
constexpr int kSlen2[16] = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3};
// The long-band groups that scfsi refers to.
constexpr int kScfsiGroupStart[5] = {0, 6, 11, 16, 21};

// MPEG-2: scale factors per partition, [table][normal, short, mixed][partition]
// (nr_of_sfb_block of ISO/IEC 13818-3).
constexpr uint8_t kPartitionBands[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},
    {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}},
    {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},
    {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
};

uint8_t Limit(int bits) { return static_cast<uint8_t>((1 << bits) - 1); }

}  // namespace

void ReadMp3ScaleFactorsMpeg1(LMp3BitReader& bits, const LMp3GranuleInfo& granule,
                              const bool scfsi[4], int granuleIndex, LMp3ScaleFactors* factors) {
  const int slen1 = kSlen1[granule.scalefacCompress & 15];
  const int slen2 = kSlen2[granule.scalefacCompress & 15];
  std::fill(std::begin(factors->longLimit), std::end(factors->longLimit), uint8_t{7});
  std::fill(std::begin(factors->shortLimit), std::end(factors->shortLimit), uint8_t{7});
  if (granule.ShortBlocks()) {
    int band = 0;
    if (granule.mixed) {
      for (; band < 8; ++band) factors->longBands[band] = static_cast<uint8_t>(bits.Read(slen1));
      for (int b = 8; b < kMp3LongBands; ++b) factors->longBands[b] = 0;
      band = 3;  // the short bands above the long part
    }
    for (; band < kMp3ShortBands - 1; ++band) {
      const int length = band < 6 ? slen1 : slen2;
      for (int w = 0; w < 3; ++w) factors->shortBands[band][w] = static_cast<uint8_t>(bits.Read(length));
    }
    for (int w = 0; w < 3; ++w) factors->shortBands[kMp3ShortBands - 1][w] = 0;
    return;
  }
  for (int group = 0; group < 4; ++group) {
    const bool reuse = granuleIndex == 1 && scfsi[group];
    const int length = group < 2 ? slen1 : slen2;
    for (int band = kScfsiGroupStart[group]; band < kScfsiGroupStart[group + 1]; ++band) {
      if (!reuse) factors->longBands[band] = static_cast<uint8_t>(bits.Read(length));
    }
  }
  factors->longBands[kMp3LongBands - 1] = 0;
}

void ReadMp3ScaleFactorsMpeg2(LMp3BitReader& bits, LMp3GranuleInfo* granule, bool intensityRight,
                              LMp3ScaleFactors* factors) {
  int slen[4] = {0, 0, 0, 0};
  int table = 0;
  int compress = granule->scalefacCompress;
  granule->preflag = false;
  if (!intensityRight) {
    if (compress < 400) {
      slen[0] = (compress >> 4) / 5;
      slen[1] = (compress >> 4) % 5;
      slen[2] = (compress & 15) >> 2;
      slen[3] = compress & 3;
      table = 0;
    } else if (compress < 500) {
      compress -= 400;
      slen[0] = (compress >> 2) / 5;
      slen[1] = (compress >> 2) % 5;
      slen[2] = compress & 3;
      table = 1;
    } else {
      compress -= 500;
      slen[0] = compress / 3;
      slen[1] = compress % 3;
      granule->preflag = true;
      table = 2;
    }
  } else {
    compress >>= 1;  // the low bit is the intensity scale
    if (compress < 180) {
      slen[0] = compress / 36;
      slen[1] = (compress % 36) / 6;
      slen[2] = compress % 6;
      table = 3;
    } else if (compress < 244) {
      compress -= 180;
      slen[0] = (compress & 63) >> 4;
      slen[1] = (compress & 15) >> 2;
      slen[2] = compress & 3;
      table = 4;
    } else {
      compress -= 244;
      slen[0] = compress / 3;
      slen[1] = compress % 3;
      table = 5;
    }
  }
  const int kind = !granule->ShortBlocks() ? 0 : granule->mixed ? 2 : 1;
  // The scale factors in the order the stream holds them, with the length of each.
  uint8_t values[39] = {};
  uint8_t limits[39] = {};
  int count = 0;
  for (int part = 0; part < 4; ++part) {
    const int length = slen[part];  // up to 5 bits for intensity positions
    for (int i = 0; i < kPartitionBands[table][kind][part] && count < 39; ++i, ++count) {
      values[count] = static_cast<uint8_t>(bits.Read(length));
      limits[count] = Limit(length);
    }
  }
  int next = 0;
  if (kind == 0) {
    for (int band = 0; band < kMp3LongBands - 1; ++band, ++next) {
      factors->longBands[band] = values[next];
      factors->longLimit[band] = limits[next];
    }
    factors->longBands[kMp3LongBands - 1] = 0;
    factors->longLimit[kMp3LongBands - 1] = limits[kMp3LongBands - 2];
    return;
  }
  int band = 0;
  if (kind == 2) {
    for (; band < 6; ++band, ++next) {
      factors->longBands[band] = values[next];
      factors->longLimit[band] = limits[next];
    }
    for (int b = 6; b < kMp3LongBands; ++b) factors->longBands[b] = 0;
    band = 3;
  }
  for (; band < kMp3ShortBands - 1; ++band) {
    for (int w = 0; w < 3; ++w, ++next) factors->shortBands[band][w] = values[next];
    factors->shortLimit[band] = limits[next - 1];
  }
  for (int w = 0; w < 3; ++w) factors->shortBands[kMp3ShortBands - 1][w] = 0;
  factors->shortLimit[kMp3ShortBands - 1] = factors->shortLimit[kMp3ShortBands - 2];
}

}  // namespace klangor
