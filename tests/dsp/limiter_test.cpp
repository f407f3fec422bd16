// The limiter: its block gains, when it stands aside, and what it does to loud passages.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "audio/sample_format.h"
#include "dsp/fixed_point.h"
#include "dsp/limiter.h"
#include "store/segment_stream.h"
#include "support/test_signals.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using test::LFunctionStream;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int kChannelCounts[] = {1, 2, 3};

TEST(LimiterTest, BlockGains) {
  EXPECT_EQ(LimiterBlockGain(0, kFullScale16), kUnityQ24);
  EXPECT_EQ(LimiterBlockGain(kFullScale16, kFullScale16), kUnityQ24);
  EXPECT_LT(LimiterBlockGain(kFullScale16 + 1, kFullScale16), kUnityQ24);
  // A peak of twice the limit gives about one half: 2^24 x 524272 / 1048544.
  EXPECT_EQ(LimiterBlockGain(1048544, kFullScale16), 8388096);
  // The 16-bit range reaches one step further below zero.
  EXPECT_EQ(LimiterBlockGain(LExtremes{kFullScale16, -kFullScale16 - 16}, kFullScale16), kUnityQ24);
  EXPECT_LT(LimiterBlockGain(LExtremes{0, -kFullScale16 - 17}, kFullScale16), kUnityQ24);
  EXPECT_LT(LimiterBlockGain(LExtremes{kFullScale16 + 1, 0}, kFullScale16), kUnityQ24);
  // Extreme peaks and limits stay defined.
  EXPECT_GT(LimiterBlockGain(kMax, kFullScale16), 0);
  EXPECT_EQ(LimiterBlockGain(100, 0), 0);
  EXPECT_LE(LimiterBlockGain(kMax, kMax), kUnityQ24);
}

TEST(LimiterTest, ReturnsItsInputWhenTheFullScaleIsWithinTheLimit) {
  auto seven = [](int32_t fullScale) {
    return MakeRef<LFunctionStream>(44100, 2, 100, [](int64_t, int) { return 7; }, fullScale);
  };
  LRef<LSoundStream> decoded = seven(kFullScale16);
  EXPECT_EQ(MakeLimiter(decoded, kFullScale16), decoded);
  LRef<LSoundStream> document = seven(kDocumentFullScale);
  LRef<LSoundStream> limited = MakeLimiter(document, kFullScale16);
  EXPECT_FALSE(limited == document);
  EXPECT_EQ(limited->FullScale(), kFullScale16);
  EXPECT_EQ(limited->Length(), 100);
  EXPECT_EQ(MakeLimiter(document, 100000000)->FullScale(), kDocumentFullScale);  // the input itself
  EXPECT_EQ(LLimiterStream(document, 100000000).FullScale(), kLimiterCeiling);
}

TEST(LimiterTest, SignalWithinTheLimitPassesSampleForSample) {
  for (int32_t rate : {8000, 11025, 44100, 96000}) {
    for (int channels : kChannelCounts) {
      const int32_t length = rate * 2;
      auto value = [](int64_t frame, int channel) {
        const auto x = static_cast<int32_t>((frame * 7919 + channel * 104729) % 1048545) - 524272;
        // Both ends of the 16-bit range: 32767 x 16 and -32768 x 16.
        return frame % 1000 == 0 ? (channel % 2 == 0 ? kFullScale16 : -kFullScale16 - 16) : x;
      };
      LRef<LSoundStream> limiter =
          MakeLimiter(MakeRef<LFunctionStream>(rate, channels, length, value, kDocumentFullScale), kFullScale16);
      LFunctionStream reference(rate, channels, length, value);
      EXPECT_EQ(test::ReadInSlices(*limiter, length, 5), test::ReadFrames(reference, length))
          << rate << " Hz, " << channels << " channels";
    }
  }
}

TEST(LimiterTest, LoudPassagesStayWithinTheLimitAndAreFadedInto) {
  for (int32_t rate : {8000, 11025, 44100, 96000}) {
    for (int channels : kChannelCounts) {
      const int32_t length = rate * 3;
      LLimiterStream limiter(test::Passages(rate, channels, length, 200000, 1048544, 500), kFullScale16);
      EXPECT_EQ(limiter.BlockFrames(), std::clamp(rate / 35, 20, 8192));
      const std::vector<int32_t> out = test::ReadFrames(limiter, length);
      const std::vector<int32_t> in = test::ReadAll(*test::Passages(rate, channels, length, 200000, 1048544, 500));
      const int32_t peak = PeakOf(out.data(), out.size());
      EXPECT_LE(peak, kFullScale16);
      // What it claims of its output (that lets a second limiter pass it straight through).
      limiter.Seek(0);
      EXPECT_TRUE(limiter.StaysWithin(length, kFullScale16, -(kFullScale16 + 16)));
      EXPECT_FALSE(limiter.StaysWithin(length, kFullScale16 - 1, -(kFullScale16 + 16)));
      EXPECT_GT(peak, kFullScale16 * 99 / 100) << rate;
      // The gain starts to fall before the loud passage (at 0.5 s) begins.
      double inPower = 0;
      double outPower = 0;
      for (size_t i = static_cast<size_t>(rate / 2 - limiter.BlockFrames() / 2) * channels;
           i < static_cast<size_t>(rate / 2) * channels; ++i) {
        inPower += static_cast<double>(in[i]) * in[i];
        outPower += static_cast<double>(out[i]) * out[i];
      }
      EXPECT_LT(outPower, 0.9 * inPower) << rate;
      // Long after the loud passage the quiet one passes untouched again.
      const int32_t quiet = rate * 5 / 4;
      EXPECT_EQ(test::Frames(out, channels, quiet, quiet + 100),
                test::Frames(in, channels, quiet, quiet + 100));
    }
  }
}

// A sound in the block store knows its peaks: one that stays below the limit is read straight
// through, a louder one (or one raised by its segment gain) is limited as before, and every
// result equals the limiter's over the same samples from a stream that knows nothing.
TEST(LimiterTest, BlockStoreSoundsGiveTheSameResultWithTheirPeaksKnown) {
  const int32_t rate = 11025;
  const int channels = 2;
  const int32_t length = rate * 2;
  for (int32_t level : {300000, 522000, 524272, 600000}) {
    std::vector<int32_t> samples(static_cast<size_t>(length) * channels);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<int32_t>((static_cast<int64_t>(i) * 7919) % (2 * level + 1)) - level;
    }
    for (int32_t percent : {100, 200, 50}) {
      LSegmentList list = test::MakeSound(rate, channels, samples);
      list.ScaleGain(percent);
      LRef<LSoundStream> known = OpenSegmentStream(list);
      const std::vector<int32_t> read = test::ReadAll(*known);
      known->Seek(0);
      // Peaks are known in steps of 2048 below the top entry (522240 and up), which bounds nothing.
      EXPECT_EQ(known->StaysWithin(length, kFullScale16, -kFullScale16 - 16), level < 522240 && percent <= 100)
          << level << " " << percent;
      auto copy = [&](int64_t frame, int channel) { return read[static_cast<size_t>(frame * channels + channel)]; };
      LLimiterStream reference(MakeRef<LFunctionStream>(rate, channels, length, copy, kDocumentFullScale),
                               kFullScale16);
      LLimiterStream limited(known, kFullScale16);
      EXPECT_EQ(test::ReadInSlices(limited, length, 7), test::ReadFrames(reference, length)) << level << " " << percent;
      limited.Seek(rate / 2);
      reference.Seek(rate / 2);
      EXPECT_EQ(limited.Position(), rate / 2);
      EXPECT_EQ(test::ReadFrames(limited, 1000), test::ReadFrames(reference, 1000));
    }
  }
}

// A quiet sound passes in windows of whole blocks; a loud burst just before, at or after a
// window's end must be limited exactly as a limiter that knows nothing limits it.
TEST(LimiterTest, PassedWindowsEndInTheStateOfTheBlockByBlockLimiter) {
  const int32_t rate = 8000;
  const int32_t block = rate / 35;
  const int32_t window = block * kPassBlocks;
  const int32_t length = 2 * window + 5000;
  for (int32_t burst : {-1, window - 100, window + block, window + 2 * block + 10, window + 3 * block + 10,
                        window + 600 * block}) {
    std::vector<int32_t> samples(static_cast<size_t>(length));
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<int32_t>((static_cast<int64_t>(i) * 7919) % 600001) - 300000;
    }
    if (burst >= 0) std::fill_n(samples.begin() + burst, 50, 900000);
    LSegmentList list = test::MakeSound(rate, 1, samples);
    auto copy = [&](int64_t frame, int) { return samples[static_cast<size_t>(frame)]; };
    LLimiterStream reference(MakeRef<LFunctionStream>(rate, 1, length, copy, kDocumentFullScale), kFullScale16);
    LLimiterStream limited(OpenSegmentStream(list), kFullScale16);
    EXPECT_EQ(test::ReadInSlices(limited, length, 3), test::ReadFrames(reference, length)) << burst;
  }
}

}  // namespace
}  // namespace klangor
