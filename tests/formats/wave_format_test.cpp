#include "formats/wave_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wav_test_files.h"

namespace klangor {
namespace {

using wavtest::Le16;
using wavtest::Le32;

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// The extensible record's extra bytes: valid bits, channel mask, sub-format GUID.
std::string ExtensibleExtra(uint32_t guidFirstWord) {
  return Le16(24) + Le32(3) + Le32(guidFirstWord) +
         std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
}

TEST(WaveFormat, Pcm16RecordHasTheFileLayout) {
  LWaveFormat format = MakePcm16Format(44100, 2);
  std::string expected = Le16(1) + Le16(2) + Le32(44100) + Le32(176400) + Le16(4) + Le16(16) + Le16(0);
  EXPECT_EQ(SerializeWaveFormat(format), Bytes(expected));
  EXPECT_EQ(MakePcmFormat(8000, 1, 24).blockAlign, 3);
  EXPECT_EQ(MakePcmFormat(8000, 1, 24).avgBytesPerSec, 24000u);
  EXPECT_EQ(MakePcmFormat(8000, 3, 12).blockAlign, 6);  // 12 bits sit in 2-byte containers
}

TEST(WaveFormat, ParseRoundTripsWithExtraBytes) {
  LWaveFormat format;
  format.formatTag = 0x11;
  format.channels = 1;
  format.samplesPerSec = 22050;
  format.avgBytesPerSec = 11100;
  format.blockAlign = 512;
  format.bitsPerSample = 4;
  format.extraBytes = {0xF9, 0x03};
  std::vector<uint8_t> bytes = SerializeWaveFormat(format);
  ASSERT_EQ(bytes.size(), 20u);
  EXPECT_EQ(bytes[16], 2);
  EXPECT_EQ(ParseWaveFormat(bytes.data(), bytes.size()), format);
}

TEST(WaveFormat, ParseHandlesShortAndOverlongRecords) {
  std::vector<uint8_t> bytes = SerializeWaveFormat(MakePcm16Format(48000, 1));
  EXPECT_FALSE(ParseWaveFormat(bytes.data(), 15));
  EXPECT_FALSE(ParseWaveFormat(nullptr, 18));

  // 16 bytes: no extra size field at all.
  auto shortRecord = ParseWaveFormat(bytes.data(), 16);
  ASSERT_TRUE(shortRecord);
  EXPECT_EQ(shortRecord->samplesPerSec, 48000u);
  EXPECT_TRUE(shortRecord->extraBytes.empty());

  // An extra size beyond the bytes given keeps only what is there.
  std::vector<uint8_t> overlong = Bytes(Le16(2) + Le16(1) + Le32(8000) + Le32(4000) + Le16(256) +
                                        Le16(4) + Le16(500) + "abc");
  auto clipped = ParseWaveFormat(overlong.data(), overlong.size());
  ASSERT_TRUE(clipped);
  EXPECT_EQ(clipped->extraBytes, Bytes("abc"));
}

TEST(WaveFormat, PcmIsTagOneOrExtensiblePcm) {
  EXPECT_TRUE(IsPcmFormat(MakePcm16Format(44100, 2)));

  LWaveFormat extensible = MakePcmFormat(44100, 2, 24);
  extensible.formatTag = kWaveFormatExtensible;
  extensible.extraBytes = Bytes(ExtensibleExtra(1));
  EXPECT_TRUE(IsPcmFormat(extensible));

  LWaveFormat floatExtensible = extensible;
  floatExtensible.extraBytes = Bytes(ExtensibleExtra(3));  // IEEE float sub-format
  EXPECT_FALSE(IsPcmFormat(floatExtensible));

  LWaveFormat truncated = extensible;
  truncated.extraBytes.resize(21);
  EXPECT_FALSE(IsPcmFormat(truncated));

  LWaveFormat adpcm = MakePcm16Format(44100, 2);
  adpcm.formatTag = 2;
  EXPECT_FALSE(IsPcmFormat(adpcm));
}

}  // namespace
}  // namespace klangor
