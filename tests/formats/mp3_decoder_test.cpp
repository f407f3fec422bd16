// The parts of the Layer III decoder that the files of the peer tests never reach, against
// the standard's formulas: mixed blocks, intensity stereo and its MPEG-2 scale factors,
// damaged codes, refused headers; and the Huffman tables as entered (every one a complete
// prefix code), since one mistyped code of a rarely used table would go unnoticed there.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "formats/mp3_bands.h"
#include "formats/mp3_decoder.h"
#include "formats/mp3_header.h"
#include "formats/mp3_huffman.h"
#include "formats/mp3_imdct.h"
#include "formats/mp3_requantize.h"
#include "formats/mp3_scalefactors.h"
#include "formats/mp3_stereo.h"
#include "formats/mp3_tables.h"

namespace klangor {
namespace {

// Bits written most significant first, with the zero padding the reader wants.
class LBitWriter {
 public:
  void Put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (bits_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() = static_cast<uint8_t>(bytes_.back() | (0x80 >> (bits_ % 8)));
      ++bits_;
    }
  }
  int64_t Bits() const { return bits_; }
  std::vector<uint8_t> Padded() const {
    std::vector<uint8_t> padded = bytes_;
    padded.resize(padded.size() + kMp3BitPaddingBytes, 0);
    return padded;
  }

 private:
  std::vector<uint8_t> bytes_;
  int64_t bits_ = 0;
};

// Each table is a complete prefix code (Kraft sum exactly 1, no code the start of another)
// with codes that fit their lengths. A mistyped code or length breaks this.
TEST(Mp3HuffmanTest, EveryCodeTableIsACompletePrefixCode) {
  std::vector<int> tables = {1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 24, kMp3Count1TableA, kMp3Count1TableB};
  for (int t : tables) {
    SCOPED_TRACE(t);
    const LMp3CodeTable table = Mp3CodeTable(t);
    const int entries = t >= kMp3Count1TableA ? 16 : table.size * table.size;
    ASSERT_GT(entries, 0);
    double kraft = 0;
    std::vector<std::string> codes;
    for (int i = 0; i < entries; ++i) {
      const int length = table.lengths[i];
      ASSERT_GE(length, 1);
      ASSERT_LE(length, 19);
      ASSERT_LT(table.codes[i], 1u << length);
      kraft += std::ldexp(1.0, -length);
      std::string code;
      for (int b = length - 1; b >= 0; --b) code += ((table.codes[i] >> b) & 1) ? '1' : '0';
      codes.push_back(code);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
    std::sort(codes.begin(), codes.end());
    for (size_t i = 1; i < codes.size(); ++i) EXPECT_NE(codes[i].rfind(codes[i - 1], 0), 0u) << codes[i - 1];
  }
}

TEST(Mp3HuffmanTest, DamagedCodeGivesSilence) {
  LBitWriter writer;
  for (int i = 0; i < 40; ++i) writer.Put(0x5A5A, 16);
  const std::vector<uint8_t> bytes = writer.Padded();
  float values[kMp3GranuleLines];
  LMp3SpectrumLayout layout;
  layout.bigValueLines = 200;
  layout.region1Start = layout.region2Start = 576;
  layout.tables[0] = 15;
  {
    // Big values that run past the granule's bits.
    LMp3BitReader reader(bytes.data(), 80);
    EXPECT_EQ(DecodeMp3Spectrum(reader, 100, layout, values), -1);
    EXPECT_TRUE(std::all_of(values, values + kMp3GranuleLines, [](float v) { return v == 0.0f; }));
  }
  {
    // A table number the standard leaves out.
    layout.tables[0] = 14;
    LMp3BitReader reader(bytes.data(), 80);
    EXPECT_EQ(DecodeMp3Spectrum(reader, 640, layout, values), -1);
  }
  {
    // A count-1 quadruple that would end past the granule is not part of it.
    LBitWriter quads;
    quads.Put(1, 1);       // 0 0 0 0
    quads.Put(0x5, 4);     // 0 0 0 1
    quads.Put(0, 1);       // its sign
    quads.Put(0x1, 6);     // 1 1 1 1, signs follow
    quads.Put(0, 2);       // two of its four signs only
    const std::vector<uint8_t> q = quads.Padded();
    LMp3SpectrumLayout count1;
    LMp3BitReader reader(q.data(), static_cast<int64_t>(q.size() - kMp3BitPaddingBytes));
    EXPECT_EQ(DecodeMp3Spectrum(reader, quads.Bits(), count1, values), 8);
    EXPECT_EQ(values[7], 1.0f);
    EXPECT_EQ(values[8], 0.0f);
  }
}

// The coefficients of the alias reduction butterflies as the standard prints them.
constexpr double kAliasCoefficients[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

// The hybrid synthesis of a mixed block against the standard's formulas in double precision:
// alias reduction between the two long subbands only, x[i] = sum X[k] cos(pi / 2n (2i + 1 +
// n/2)(2k + 1)) with the normal window there, three overlapped short IMDCTs above,
// overlap-add, frequency inversion.
TEST(Mp3HybridTest, MixedBlocksFollowTheStandard) {
  const LMp3Tables& t = Mp3Tables();
  std::mt19937 random(3);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  LMp3GranuleInfo info;
  info.blockType = LMp3BlockType::kShort;
  info.mixed = true;
  LMp3SubbandSamples overlap = {};
  std::vector<double> reference(576, 0.0);  // the previous granule's second halves
  for (int granule = 0; granule < 2; ++granule) {
    float xr[576];
    for (float& x : xr) x = value(random);
    std::vector<double> in(xr, xr + 576);
    LMp3SubbandSamples out;
    Mp3HybridSynthesis(xr, info, 2, 32, overlap, out);

    for (int i = 0; i < 8; ++i) {  // the butterflies between subbands 0 and 1
      const double a = in[static_cast<size_t>(17 - i)];
      const double b = in[static_cast<size_t>(18 + i)];
      const double cc = kAliasCoefficients[i];
      const double cs = 1 / std::sqrt(1 + cc * cc);
      const double ca = cc / std::sqrt(1 + cc * cc);
      in[static_cast<size_t>(17 - i)] = a * cs - b * ca;
      in[static_cast<size_t>(18 + i)] = b * cs + a * ca;
    }
    for (int sb = 0; sb < 32; ++sb) {
      double z[36] = {};
      if (sb < 2) {
        for (int i = 0; i < 36; ++i) {
          double x = 0;
          for (int k = 0; k < 18; ++k) {
            x += in[static_cast<size_t>(sb * 18 + k)] * std::cos(M_PI / 72 * (2 * i + 1 + 18) * (2 * k + 1));
          }
          z[i] = x * t.longWindows[0][i];
        }
      } else {
        for (int w = 0; w < 3; ++w) {
          for (int i = 0; i < 12; ++i) {
            double x = 0;
            for (int k = 0; k < 6; ++k) {
              x += in[static_cast<size_t>(sb * 18 + w * 6 + k)] * std::cos(M_PI / 24 * (2 * i + 1 + 6) * (2 * k + 1));
            }
            z[6 + 6 * w + i] += x * std::sin(M_PI / 12 * (i + 0.5));
          }
        }
      }
      for (int s = 0; s < 18; ++s) {
        double sample = z[s] + reference[static_cast<size_t>(sb * 18 + s)];
        if (s % 2 == 1 && sb % 2 == 1) sample = -sample;
        reference[static_cast<size_t>(sb * 18 + s)] = z[s + 18];
        EXPECT_NEAR(out[s][sb], sample, 2e-4) << "granule " << granule << " subband " << sb << " slot " << s;
      }
    }
  }
}

// Short-block lines move from (band, window, line) order to the subband order the IMDCT reads;
// the long part of a mixed block stays where it is.
TEST(Mp3HybridTest, ReorderingPlacesEveryShortLine) {
  const LMp3Bands& bands = Mp3Bands(0);  // 44100 Hz
  for (bool mixed : {false, true}) {
    float xr[576];
    for (int i = 0; i < 576; ++i) xr[i] = static_cast<float>(i);
    ReorderMp3ShortBlocks(bands, mixed, true, xr);
    int source = mixed ? 36 : 0;
    for (int i = 0; i < source; ++i) EXPECT_EQ(xr[i], static_cast<float>(i));
    for (int band = mixed ? 3 : 0; band < 13; ++band) {
      const int width = bands.shortStart[band + 1] - bands.shortStart[band];
      for (int w = 0; w < 3; ++w) {
        for (int i = 0; i < width; ++i, ++source) {
          const int line = bands.shortStart[band] + i;
          EXPECT_EQ(xr[(line / 6) * 18 + w * 6 + line % 6], static_cast<float>(source));
        }
      }
    }
  }
}

// Requantisation of a mixed block: the long part (8 long bands, 36 lines at 44100 Hz) with the
// long scale factors and pre-emphasis, then short bands 3 to 12 window by window with their
// subblock gains; 2^((global_gain - 210) / 4) over it all.
TEST(Mp3RequantizeTest, MixedBlocksUseLongThenShortFactors) {
  const LMp3Bands& bands = Mp3Bands(0);
  LMp3GranuleInfo info;
  info.blockType = LMp3BlockType::kShort;
  info.mixed = true;
  info.globalGain = 214;
  info.preflag = true;
  info.subblockGain[0] = 0;
  info.subblockGain[1] = 1;
  info.subblockGain[2] = 3;
  LMp3ScaleFactors factors;
  for (int b = 0; b < 8; ++b) factors.longBands[b] = static_cast<uint8_t>(b);
  for (int b = 3; b < 12; ++b) {
    for (int w = 0; w < 3; ++w) factors.shortBands[b][w] = static_cast<uint8_t>(b + w);
  }
  for (bool scale : {false, true}) {
    info.scalefacScale = scale;
    const double multiplier = scale ? 1.0 : 0.5;
    float xr[576];
    std::fill(std::begin(xr), std::end(xr), -1.0f);
    RequantizeMp3(576, info, factors, bands, true, xr);
    int line = 0;
    for (int b = 0; b < 8; ++b) {
      for (; line < bands.longStart[b + 1]; ++line) {
        EXPECT_FLOAT_EQ(xr[line], -std::pow(2.0, 1.0 - multiplier * (b + kMp3Pretab[b]))) << line;
      }
    }
    EXPECT_EQ(line, 36);
    for (int b = 3; b < 13; ++b) {
      const int width = bands.shortStart[b + 1] - bands.shortStart[b];
      for (int w = 0; w < 3; ++w) {
        const int factor = b < 12 ? b + w : 0;
        const double gain = std::pow(2.0, 1.0 - 2.0 * info.subblockGain[w] - multiplier * factor);
        for (int i = 0; i < width; ++i, ++line) EXPECT_FLOAT_EQ(xr[line], -gain) << line;
      }
    }
    EXPECT_EQ(line, 576);
  }
}

class Mp3StereoTest : public ::testing::Test {
 protected:
  void Fill(float value) {
    std::fill(std::begin(left_), std::end(left_), value);
    std::fill(std::begin(right_), std::end(right_), 0.0f);
  }
  float left_[576];
  float right_[576];
  LMp3GranuleInfo info_;
  LMp3ScaleFactors factors_;
  const LMp3Bands& bands_ = Mp3Bands(0);
};

// MPEG-1 intensity stereo: above the right channel's last non-zero band, left = L kl and
// right = L kr with the ratio tan(is_pos pi / 12); position 7 is illegal (middle/side there).
TEST_F(Mp3StereoTest, IntensityStereoOfMpeg1) {
  Fill(1.0f);
  right_[bands_.longStart[4]] = 0.5f;  // the right channel ends in band 4
  for (int b = 0; b < 21; ++b) factors_.longBands[b] = static_cast<uint8_t>(b % 8);
  LMp3StereoMode mode;
  mode.intensity = true;
  mode.midSide = true;
  ProcessMp3Stereo(mode, info_, factors_, bands_, 576, left_, right_);
  for (int b = 0; b < 22; ++b) {
    const int line = bands_.longStart[b];
    const int position = b == 21 ? factors_.longBands[20] : factors_.longBands[b];
    if (b <= 4 || position == 7) {
      const double r = b == 4 ? 0.5 : 0.0;
      EXPECT_NEAR(left_[line], (1 + r) / std::sqrt(2.0), 1e-6) << "band " << b;
      EXPECT_NEAR(right_[line], (1 - r) / std::sqrt(2.0), 1e-6) << "band " << b;
    } else {
      const double ratio = std::tan(position * M_PI / 12);
      const double kl = position == 6 ? 1.0 : ratio / (1 + ratio);
      const double kr = position == 6 ? 0.0 : 1 / (1 + ratio);
      EXPECT_NEAR(left_[line], kl, 1e-6) << "band " << b;
      EXPECT_NEAR(right_[line], kr, 1e-6) << "band " << b;
    }
  }
}

// MPEG-2 intensity stereo: io = 2^(-1/4), or 2^(-1/2) with the intensity scale bit; an odd
// position scales the left channel by io^((p + 1) / 2), an even one the right by io^(p / 2);
// the largest value the band's field holds is illegal. Short blocks go window by window.
TEST_F(Mp3StereoTest, IntensityStereoOfMpeg2ShortBlocks) {
  const LMp3Bands& bands = Mp3Bands(3);  // 22050 Hz
  for (int scale : {0, 1}) {
    SCOPED_TRACE(scale);
    Fill(1.0f);
    info_.blockType = LMp3BlockType::kShort;
    info_.scalefacCompress = scale;
    // Window 1 of band 6 holds a right-channel value: window 1 starts intensity at band 7.
    right_[3 * bands.shortStart[6] + 1 * (bands.shortStart[7] - bands.shortStart[6])] = 0.25f;
    for (int b = 0; b < 12; ++b) {
      factors_.shortLimit[b] = 7;
      for (int w = 0; w < 3; ++w) factors_.shortBands[b][w] = static_cast<uint8_t>((b + w) % 8);
    }
    LMp3StereoMode mode;
    mode.intensity = true;
    mode.mpeg1 = false;
    ProcessMp3Stereo(mode, info_, factors_, bands, 576, left_, right_);
    const double io = scale ? std::pow(2.0, -0.5) : std::pow(2.0, -0.25);
    for (int b = 0; b < 13; ++b) {
      const int width = bands.shortStart[b + 1] - bands.shortStart[b];
      for (int w = 0; w < 3; ++w) {
        const int line = 3 * bands.shortStart[b] + w * width;
        const int p = factors_.shortBands[std::min(b, 11)][w];
        if ((w == 1 && b <= 6) || p == 7) {
          EXPECT_EQ(left_[line], 1.0f) << "band " << b << " window " << w;  // untouched
          continue;
        }
        const double kl = p % 2 == 1 ? std::pow(io, (p + 1) / 2) : 1.0;
        const double kr = p % 2 == 0 ? std::pow(io, p / 2) : 1.0;
        EXPECT_NEAR(left_[line], kl, 1e-6) << "band " << b << " window " << w;
        EXPECT_NEAR(right_[line], kr, 1e-6) << "band " << b << " window " << w;
      }
    }
  }
}

// MPEG-2 scale factors of the right channel with intensity stereo: int_scalefac_compress
// 180 + 39 selects the partition 6, 6, 6, 3 long bands of 2, 1, 3 and 0 bits; the largest
// value of each band's field marks its illegal intensity position.
TEST(Mp3ScaleFactorTest, IntensityPositionsOfMpeg2) {
  const int lengths[4] = {2, 1, 3, 0};
  const int counts[4] = {6, 6, 6, 3};
  LBitWriter writer;
  std::vector<int> expected;
  for (int part = 0; part < 4; ++part) {
    for (int i = 0; i < counts[part]; ++i) {
      const int value = (part * 5 + i) & ((1 << lengths[part]) - 1);
      writer.Put(static_cast<uint32_t>(value), lengths[part]);
      expected.push_back(value);
    }
  }
  const std::vector<uint8_t> bytes = writer.Padded();
  LMp3BitReader reader(bytes.data(), static_cast<int64_t>(bytes.size() - kMp3BitPaddingBytes));
  LMp3GranuleInfo info;
  info.scalefacCompress = (180 + 39) << 1 | 1;  // the low bit is the intensity scale
  LMp3ScaleFactors factors;
  ReadMp3ScaleFactorsMpeg2(reader, &info, true, &factors);
  EXPECT_EQ(reader.Position(), 12 + 6 + 18);
  EXPECT_FALSE(info.preflag);
  int band = 0;
  for (int part = 0; part < 4; ++part) {
    for (int i = 0; i < counts[part]; ++i, ++band) {
      EXPECT_EQ(factors.longBands[band], expected[static_cast<size_t>(band)]) << band;
      EXPECT_EQ(factors.longLimit[band], (1 << lengths[part]) - 1) << band;
    }
  }
  // Without intensity stereo, scalefac_compress 500 and up sets preflag.
  LMp3BitReader again(bytes.data(), static_cast<int64_t>(bytes.size() - kMp3BitPaddingBytes));
  info.scalefacCompress = 500;
  ReadMp3ScaleFactorsMpeg2(again, &info, false, &factors);
  EXPECT_TRUE(info.preflag);
}

// Frame sizes and rates are exercised by every peer file; these headers must be refused.
TEST(Mp3HeaderTest, RefusesOtherLayersAndInvalidFields) {
  const uint8_t refused[][4] = {
      {0xFF, 0xEB, 0x90, 0x00},  // version 01
      {0xFF, 0xFD, 0x90, 0x00},  // Layer II
      {0xFF, 0xFF, 0x90, 0x00},  // Layer I
      {0xFF, 0xFB, 0x00, 0x00},  // free format
      {0xFF, 0xFB, 0xF0, 0x00},  // bitrate index 15
      {0xFF, 0xFB, 0x9C, 0x00},  // sample rate index 3
      {0xFE, 0xFB, 0x90, 0x00},  // no sync
  };
  for (const auto& bytes : refused) EXPECT_FALSE(ParseMp3Header(bytes));
}

TEST(Mp3DecoderTest, SilentFramesAndNonHeaders) {
  LMp3Decoder decoder;
  std::vector<int32_t> pcm(1152 * 2, 99);
  const uint8_t junk[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(decoder.DecodeFrame(junk, sizeof junk, pcm.data()));
  EXPECT_EQ(pcm[0], 99);
  // A frame whose side information is all zero codes silence.
  std::vector<uint8_t> frame(417, 0);
  frame[0] = 0xFF;
  frame[1] = 0xFB;
  frame[2] = 0x90;
  EXPECT_TRUE(decoder.DecodeFrame(frame.data(), static_cast<int64_t>(frame.size()), pcm.data()));
  EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](int32_t v) { return v == 0; }));
  EXPECT_EQ(decoder.SilencedGranules(), 0);
  // Cut short before the end of the side information: silent, counted as damage.
  EXPECT_TRUE(decoder.DecodeFrame(frame.data(), 20, pcm.data()));
  EXPECT_EQ(decoder.SilencedGranules(), 4);
}

}  // namespace
}  // namespace klangor
