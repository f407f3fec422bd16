#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

#include "audio/sample_format.h"
#include "effects/fixed_point.h"
#include "effects/limiter.h"
#include "dynamics_test_util.h"

namespace klangor {
namespace {

using test::LFunctionStream;

constexpr int32_t kRates[] = {8000, 11025, 44100, 96000};
constexpr int kChannelCounts[] = {1, 2, 3};

TEST(LimiterTest, BlockGains) {
  EXPECT_EQ(LimiterBlockGain(0, kFullScale16), kUnityQ24);
  EXPECT_EQ(LimiterBlockGain(kFullScale16, kFullScale16), kUnityQ24);
  EXPECT_LT(LimiterBlockGain(kFullScale16 + 1, kFullScale16), kUnityQ24);
  // A peak of twice the limit gives about one half: 2^24 x 524272 / 1048544.
  const int32_t half = LimiterBlockGain(1048544, kFullScale16);
  EXPECT_EQ(half, 8388096);
  EXPECT_NEAR(half, 8388608, 8388608 / 1000);
  // The 16-bit range reaches one step further below zero.
  EXPECT_EQ(LimiterBlockGain(LExtremes{kFullScale16, -kFullScale16 - 16}, kFullScale16), kUnityQ24);
  EXPECT_LT(LimiterBlockGain(LExtremes{0, -kFullScale16 - 17}, kFullScale16), kUnityQ24);
  EXPECT_LT(LimiterBlockGain(LExtremes{kFullScale16 + 1, 0}, kFullScale16), kUnityQ24);
  // Extreme peaks and limits stay defined.
  EXPECT_GT(LimiterBlockGain(std::numeric_limits<int32_t>::max(), kFullScale16), 0);
  EXPECT_EQ(LimiterBlockGain(100, 0), 0);
  EXPECT_LE(LimiterBlockGain(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()), kUnityQ24);
}

TEST(LimiterTest, ReturnsItsInputWhenTheFullScaleIsWithinTheLimit) {
  LRef<LSoundStream> decoded = MakeRef<LFunctionStream>(44100, 2, 100, [](int64_t, int) { return 7; });
  EXPECT_EQ(MakeLimiter(decoded, kFullScale16), decoded);
  LRef<LSoundStream> document = MakeRef<LFunctionStream>(44100, 2, 100, [](int64_t, int) { return 7; },
                                                         kDocumentFullScale);
  LRef<LSoundStream> limited = MakeLimiter(document, kFullScale16);
  EXPECT_FALSE(limited == document);
  EXPECT_EQ(limited->FullScale(), kFullScale16);
  EXPECT_EQ(limited->Length(), 100);
  EXPECT_EQ(MakeLimiter(document, 100000000)->FullScale(), kDocumentFullScale);  // the input itself
  EXPECT_EQ(LLimiterStream(document, 100000000).FullScale(), kLimiterCeiling);
}

TEST(LimiterTest, SignalWithinTheLimitPassesSampleForSample) {
  for (int32_t rate : kRates) {
    for (int channels : kChannelCounts) {
      const int32_t length = rate * 2;
      auto value = [](int64_t frame, int channel) {
        const auto x = static_cast<int32_t>((frame * 7919 + channel * 104729) % 1048545) - 524272;
        // Both ends of the 16-bit range: 32767 x 16 and -32768 x 16.
        return frame % 1000 == 0 ? (channel % 2 == 0 ? kFullScale16 : -kFullScale16 - 16) : x;
      };
      LRef<LSoundStream> input = MakeRef<LFunctionStream>(rate, channels, length, value, kDocumentFullScale);
      LRef<LSoundStream> limiter = MakeLimiter(input, kFullScale16);
      LFunctionStream reference(rate, channels, length, value);
      EXPECT_EQ(test::ReadInSlices(*limiter, length, 5), test::ReadFrames(reference, length))
          << rate << " Hz, " << channels << " channels";
    }
  }
}

TEST(LimiterTest, LoudPassagesStayWithinTheLimitAndAreFadedInto) {
  for (int32_t rate : kRates) {
    for (int channels : kChannelCounts) {
      const int32_t length = rate * 3;
      LRef<LSoundStream> input = test::Passages(rate, channels, length, 200000, 1048544, 500);
      LLimiterStream limiter(input, kFullScale16);
      EXPECT_EQ(limiter.BlockFrames(), std::clamp(rate / 35, 20, 8192));
      const std::vector<int32_t> out = test::ReadFrames(limiter, length);
      const std::vector<int32_t> in = test::ReadAll(*test::Passages(rate, channels, length, 200000, 1048544, 500));
      int32_t peak = PeakOf(out.data(), out.size());
      EXPECT_LE(peak, kFullScale16);
      EXPECT_GT(peak, kFullScale16 * 99 / 100) << rate;
      // The gain starts to fall before the loud passage (at 0.5 s) begins.
      const size_t before = static_cast<size_t>(rate / 2 - limiter.BlockFrames() / 2) * channels;
      double inPower = 0;
      double outPower = 0;
      for (size_t i = before; i < static_cast<size_t>(rate / 2) * channels; ++i) {
        inPower += static_cast<double>(in[i]) * in[i];
        outPower += static_cast<double>(out[i]) * out[i];
      }
      EXPECT_LT(outPower, 0.9 * inPower) << rate;
      // Long after the loud passage the quiet one passes untouched again.
      const size_t quiet = static_cast<size_t>(rate * 5 / 4) * channels;
      EXPECT_EQ(std::vector<int32_t>(out.begin() + static_cast<ptrdiff_t>(quiet),
                                     out.begin() + static_cast<ptrdiff_t>(quiet) + 100),
                std::vector<int32_t>(in.begin() + static_cast<ptrdiff_t>(quiet),
                                     in.begin() + static_cast<ptrdiff_t>(quiet) + 100));
    }
  }
}

TEST(LimiterTest, OutputDoesNotDependOnSlicingAndSeekStartsOver) {
  for (int32_t rate : kRates) {
    for (int channels : kChannelCounts) {
      const int32_t length = rate * 2;
      auto make = [&] {
        return MakeLimiter(test::Passages(rate, channels, length, 300000, 3000000, 300), kFullScale16);
      };
      LRef<LSoundStream> whole = make();
      const std::vector<int32_t> expected = test::ReadFrames(*whole, length);
      EXPECT_EQ(whole->Position(), length);
      LRef<LSoundStream> sliced = make();
      EXPECT_EQ(test::ReadInSlices(*sliced, length, static_cast<uint32_t>(rate + channels)), expected);

      // After a seek the output is that of a fresh stream seeked there, whatever came before.
      const int32_t at = rate / 3 + 17;
      LRef<LSoundStream> fresh = make();
      fresh->Seek(at);
      EXPECT_EQ(fresh->Position(), at);
      const std::vector<int32_t> fromFresh = test::ReadFrames(*fresh, rate / 2);
      EXPECT_EQ(fresh->Position(), at + rate / 2);
      sliced->Seek(at);
      EXPECT_EQ(test::ReadInSlices(*sliced, rate / 2, 99, 700), fromFresh);
      // Seeking to 0 gives the beginning again.
      sliced->Seek(0);
      EXPECT_EQ(test::ReadFrames(*sliced, 1000),
                std::vector<int32_t>(expected.begin(), expected.begin() + 1000 * channels));
    }
  }
}

}  // namespace
}  // namespace klangor
