// The compressor: unity where it should change nothing, what it does to loud passages, its
// window, and values beyond the dialog.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "audio/sample_format.h"
#include "dsp/fixed_point.h"
#include "effects/compressor.h"
#include "support/test_signals.h"

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

}  // namespace
}  // namespace klangor
