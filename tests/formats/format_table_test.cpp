#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/settings_keys.h"
#include "formats/format_table.h"
#include "native_test_files.h"
#include "support/test_env.h"

namespace klangor {
namespace {

TEST(FormatTableTest, LooksUpExtensionsInAnyCase) {
  ASSERT_NE(FindFormat("wav"), nullptr);
  EXPECT_EQ(FindFormat(".WAV"), FindFormat("wav"));
  EXPECT_EQ(FindFormat("xyz"), nullptr);
  EXPECT_EQ(LowerExtension("/a.b/Take.One.WaV"), "wav");
  EXPECT_EQ(LowerExtension("/a.b/noext"), "");
}

// Every writable format reads back what it wrote: the same rate, channels and length, and
// a sine that survives (lossy codecs included) with a clear signal-to-noise ratio.
TEST(FormatTableTest, EveryWritableFormatRoundTrips) {
  // The headerless formats take rate and channels from their stored records.
  nativetest::UsePrivateSettings();
  ASSERT_TRUE(Settings().Write(kRawAudioSampleRate, 8000));
  ASSERT_TRUE(Settings().Write(kRawAudioChannels, 1));
  ASSERT_TRUE(Settings().Write(kVoxAudioSampleRate, 8000));
  for (const LFormatEntry& format : FormatTable()) {
    if (format.create == nullptr) continue;
    SCOPED_TRACE(format.extension);
    const int32_t frames = 16000;
    std::vector<int32_t> sine(frames);
    for (int32_t i = 0; i < frames; ++i) {
      sine[static_cast<size_t>(i)] = static_cast<int32_t>(300000 * std::sin(2 * M_PI * 440 * i / 8000.0));
    }
    const std::string path = test::TempPath(std::string(".") + format.extension);
    {
      LRef<LSoundSink> sink = format.create(path, 8000, 1);
      ASSERT_FALSE(sink->Failed());
      sink->Write(sine.data(), frames);
      sink->Finish();
      ASSERT_FALSE(sink->Failed());
    }
    LRef<LSoundStream> stream = format.open(path);
    ASSERT_TRUE(stream->Usable());
    EXPECT_EQ(stream->SampleRate(), 8000);
    EXPECT_EQ(stream->Channels(), 1);
    EXPECT_NEAR(stream->Length(), frames, 320);
    std::vector<int32_t> back(frames);
    stream->Read(back.data(), frames);
    double signal = 0, noise = 0;
    for (int32_t i = 0; i < frames; ++i) {
      signal += std::pow(sine[static_cast<size_t>(i)], 2);
      noise += std::pow(sine[static_cast<size_t>(i)] - back[static_cast<size_t>(i)], 2);
    }
    EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 10.0);
  }
}

}  // namespace
}  // namespace klangor
