// The compressor and the limiter that keeps document audio within 16-bit full scale: unity
// where they should change nothing, what they do to loud passages, their windows and block
// gains at the extremes, independence from how they are read, and values beyond the dialog.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "audio/sample_format.h"
#include "dsp/fixed_point.h"
#include "dsp/limiter.h"
#include "effects/compressor.h"
#include "effect_test_util.h"

namespace klangor {
namespace {

using test::LFunctionStream;

constexpr int kChannelCounts[] = {1, 2, 3};
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr double kTwoToOne = 0.9440608762859234;

// Amplitudes whose sines have levels of about -10 and +10.
constexpr int32_t kQuietAmplitude = 41450;
constexpr int32_t kLoudAmplitude = 414500;

TEST(CompressorTest, RatioOneToOneKeepsEverySample) {
  for (int32_t rate : {8000, 22050, 44100, 96000}) {
    for (int channels : kChannelCounts) {
      for (int threshold : {-20, -128, 0, 127}) {
        const int32_t length = rate;
        auto value = [](int64_t frame, int channel) {
          return static_cast<int32_t>((frame * 2654435761LL + channel * 40503) % 4000001) - 2000000;
        };
        LCompressorStream compressor(MakeRef<LFunctionStream>(rate, channels, length, value), threshold, 1.0);
        EXPECT_EQ(compressor.FullScale(), kCompressorFullScale);
        LFunctionStream reference(rate, channels, length, value);
        ASSERT_EQ(test::ReadInSlices(compressor, length, 3), test::ReadFrames(reference, length))
            << rate << " Hz, " << channels << " channels, threshold " << threshold;
      }
    }
  }
}

TEST(CompressorTest, TwoToOneHalvesTheLevelDifferenceAboveTheThreshold) {
  for (int32_t rate : {22050, 44100}) {
    for (int channels : {1, 2}) {
      const int32_t length = rate * 4;
      auto input = [&] { return test::Passages(rate, channels, length, kQuietAmplitude, kLoudAmplitude, 1000); };
      const std::vector<int> before = test::PassageLevels(test::ReadAll(*input()), channels, rate);
      ASSERT_EQ(before.size(), 4u);
      EXPECT_NEAR(before[0], -10, 1);
      EXPECT_NEAR(before[1], 10, 1);
      LCompressorStream compressor(input(), -20, kTwoToOne);
      const std::vector<int> after = test::PassageLevels(test::ReadFrames(compressor, length), channels, rate);
      // Level 0 passes at unity; above the threshold each level keeps half of its distance.
      for (size_t i = 0; i < before.size(); ++i) EXPECT_NEAR(after[i], before[i] / 2.0, 1.0) << i;
    }
  }
}

TEST(CompressorTest, WindowIsFortyFiveMillisecondsWithinItsBounds) {
  auto window = [](int32_t rate) {
    return LCompressorStream(MakeRef<LFunctionStream>(rate, 1, 10, [](int64_t, int) { return 0; }), -20, kTwoToOne)
        .WindowFrames();
  };
  EXPECT_EQ(window(44100), 1984);
  EXPECT_EQ(window(8000), 360);
  EXPECT_EQ(window(2000), 128);
  EXPECT_EQ(window(192000), 8192);
}

TEST(CompressorTest, StoredValuesBeyondTheDialogAreClampedAndBadInputStaysUnusable) {
  LEffectTask task = MakeCompressorTask(1000, 0.5, -1000);
  EXPECT_EQ(task.name, "Dynamic Range Compressor");
  const auto& processor = dynamic_cast<const LCompressorProcessor&>(*task.processor);
  EXPECT_EQ(processor.Threshold(), 127);
  EXPECT_EQ(processor.Limit(), -128);
  EXPECT_FALSE(IsCompressorRatio(7));
  EXPECT_FALSE(IsCompressorRatio(-1));
  LRef<LSoundStream> broken = MakeRef<LFunctionStream>(0, 1, 10, [](int64_t, int) { return 0; });
  EXPECT_FALSE(task.processor->MakeStream(broken)->Usable());
}

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

TEST(DynamicsTest, OutputDoesNotDependOnSlicingAndSeekStartsOver) {
  for (int32_t rate : {8000, 11025, 22050, 44100, 96000}) {
    for (int channels : kChannelCounts) {
      SCOPED_TRACE(std::to_string(rate) + " Hz x" + std::to_string(channels));
      const int32_t length = rate * 2;
      test::ExpectReadingOrderDoesNotMatter(
          [&] {
            return MakeCompressorTask(-20, kTwoToOne, 3)
                .processor->MakeStream(test::Passages(rate, channels, length, kQuietAmplitude, kLoudAmplitude, 300));
          },
          length, rate / 2 + 5, rate / 3, static_cast<uint32_t>(rate * channels));
      test::ExpectReadingOrderDoesNotMatter(
          [&] { return MakeLimiter(test::Passages(rate, channels, length, 300000, 3000000, 300), kFullScale16); },
          length, rate / 3 + 17, rate / 2, static_cast<uint32_t>(rate + channels));
    }
  }
}

}  // namespace
}  // namespace klangor
