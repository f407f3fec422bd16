// The limiter: its block gains, when it stands aside, and what it does to loud passages.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "audio/sample_format.h"
#include "dsp/fixed_point.h"
#include "dsp/limiter.h"
#include "support/test_signals.h"

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

}  // namespace
}  // namespace klangor
