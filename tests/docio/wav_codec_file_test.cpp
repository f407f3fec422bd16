// "WavCodec.wff": exactly 1024 bytes, and the saved format's use as the save dialog's start.

#include <gtest/gtest.h>

#include "docio/wav_codec_file.h"
#include "support/test_env.h"

namespace klangor {
namespace {

TEST(WavCodecFile, RoundTripsAtExactly1024BytesAndIgnoresOtherSizes) {
  const std::string path = test::TempPath(".wff");
  LWaveFormat ima{0x11, 2, 22050, 22311, 2048, 4, {0xF9, 0x07}};
  ASSERT_TRUE(WriteWavCodecFile(path, ima));
  EXPECT_EQ(test::ReadBytes(path).size(), 1024u);
  ASSERT_TRUE(ReadWavCodecFile(path).has_value());
  EXPECT_EQ(*ReadWavCodecFile(path), ima);
  // A compressed saved format is the dialog's start as it is.
  EXPECT_EQ(InitialSaveFormat(path, 44100, 1), ima);

  // Extra bytes beyond what fits are cut; the file stays 1024 bytes.
  LWaveFormat huge = ima;
  huge.extraBytes.assign(5000, 0x42);
  ASSERT_TRUE(WriteWavCodecFile(path, huge));
  EXPECT_EQ(test::ReadBytes(path).size(), 1024u);
  EXPECT_EQ(ReadWavCodecFile(path)->extraBytes.size(), 1024u - 18u);

  for (const std::string& bytes : {std::string(), std::string(1023, '\1'), std::string(1025, '\1'),
                                   std::string(1024, '\0')}) {
    test::WriteBytes(path, bytes);
    EXPECT_FALSE(ReadWavCodecFile(path).has_value()) << bytes.size();
    EXPECT_EQ(InitialSaveFormat(path, 48000, 2), MakePcm16Format(48000, 2));
  }
}

TEST(WavCodecFile, ASavedPcmFormatKeepsOnlyItsBitDepth) {
  const std::string path = test::TempPath(".wff");
  ASSERT_TRUE(WriteWavCodecFile(path, MakePcmFormat(8000, 1, 24)));
  EXPECT_EQ(InitialSaveFormat(path, 44100, 2), MakePcmFormat(44100, 2, 24));
  // Without the sound's rate and channels the saved ones stay.
  EXPECT_EQ(InitialSaveFormat(path, 0, 0), MakePcmFormat(8000, 1, 24));
  EXPECT_EQ(InitialSaveFormat(test::TempPath(".none"), 44100, 2), MakePcm16Format(44100, 2));
}

}  // namespace
}  // namespace klangor
