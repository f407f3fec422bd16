#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "audio/sample_format.h"
#include "effects/compressor.h"
#include "effects/level.h"
#include "store/segment_stream.h"
#include "dynamics_test_util.h"

namespace klangor {
namespace {

using test::LFunctionStream;

constexpr int32_t kRates[] = {8000, 22050, 44100, 96000};
constexpr int kChannelCounts[] = {1, 2, 3};
constexpr double kTwoToOne = 0.9440608762859234;

// Amplitudes whose sines have levels of about -10 and +10.
constexpr int32_t kQuietAmplitude = 41450;
constexpr int32_t kLoudAmplitude = 414500;

TEST(CompressorTest, RatioOneToOneKeepsEverySample) {
  for (int32_t rate : kRates) {
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

TEST(CompressorTest, WindowIsFortyFiveMillisecondsWithinItsBounds) {
  auto window = [](int32_t rate) {
    return LCompressorStream(MakeRef<LFunctionStream>(rate, 1, 10, [](int64_t, int) { return 0; }), -20,
                             kTwoToOne)
        .WindowFrames();
  };
  EXPECT_EQ(window(44100), 1984);
  EXPECT_EQ(window(8000), 360);
  EXPECT_EQ(window(2000), 128);
  EXPECT_EQ(window(192000), 8192);
}

TEST(CompressorTest, OutputDoesNotDependOnSlicingAndSeekStartsOver) {
  for (int32_t rate : kRates) {
    for (int channels : kChannelCounts) {
      const int32_t length = rate * 2;
      auto make = [&] {
        return MakeCompressorTask(-20, kTwoToOne, 3)
            .processor->MakeStream(test::Passages(rate, channels, length, kQuietAmplitude, kLoudAmplitude, 300));
      };
      LRef<LSoundStream> whole = make();
      EXPECT_EQ(whole->Position(), 0);
      const std::vector<int32_t> expected = test::ReadFrames(*whole, length);
      EXPECT_EQ(whole->Position(), length);
      LRef<LSoundStream> sliced = make();
      EXPECT_EQ(test::ReadInSlices(*sliced, length, static_cast<uint32_t>(rate * channels)), expected);

      const int32_t at = rate / 2 + 5;
      LRef<LSoundStream> fresh = make();
      fresh->Seek(at);
      EXPECT_EQ(fresh->Position(), at);
      const std::vector<int32_t> fromFresh = test::ReadFrames(*fresh, rate / 3);
      EXPECT_EQ(fresh->Position(), at + rate / 3);
      sliced->Seek(at);
      EXPECT_EQ(test::ReadInSlices(*sliced, rate / 3, 17, 900), fromFresh);
      sliced->Seek(0);
      EXPECT_EQ(test::ReadFrames(*sliced, length), expected);
    }
  }
}

// The level of the middle half of every passage of `passageFrames`.
std::vector<int> PassageLevels(const std::vector<int32_t>& samples, int channels, int32_t passageFrames) {
  std::vector<int> levels;
  const size_t passageSamples = static_cast<size_t>(passageFrames) * channels;
  for (size_t start = 0; start + passageSamples <= samples.size(); start += passageSamples) {
    levels.push_back(LevelOf(samples.data() + start + passageSamples / 4, passageSamples / 2));
  }
  return levels;
}

TEST(CompressorTest, TwoToOneHalvesTheLevelDifferenceAboveTheThreshold) {
  for (int32_t rate : {22050, 44100}) {
    for (int channels : {1, 2}) {
      const int32_t length = rate * 4;
      LRef<LSoundStream> input = test::Passages(rate, channels, length, kQuietAmplitude, kLoudAmplitude, 1000);
      const std::vector<int> before = PassageLevels(test::ReadAll(*input), channels, rate);
      ASSERT_EQ(before.size(), 4u);
      EXPECT_NEAR(before[0], -10, 1);
      EXPECT_NEAR(before[1], 10, 1);
      LCompressorStream compressor(test::Passages(rate, channels, length, kQuietAmplitude, kLoudAmplitude, 1000),
                                   -20, kTwoToOne);
      const std::vector<int> after = PassageLevels(test::ReadFrames(compressor, length), channels, rate);
      // Level 0 passes at unity; above the threshold each level keeps half of its distance.
      for (size_t i = 0; i < before.size(); ++i) EXPECT_NEAR(after[i], before[i] / 2.0, 1.0) << i;
    }
  }
}

TEST(CompressorTest, TaskAndProcessorCarryClampedValues) {
  LEffectTask task = MakeCompressorTask(1000, 0.5, -1000);
  EXPECT_EQ(task.name, "Dynamic Range Compressor");
  const auto& processor = dynamic_cast<const LCompressorProcessor&>(*task.processor);
  EXPECT_EQ(processor.Threshold(), 127);
  EXPECT_EQ(processor.Limit(), -128);
  EXPECT_EQ(processor.Factor(), 0.5);
  EXPECT_EQ(kCompressorRatios.size(), 7u);
  EXPECT_STREQ(kCompressorRatios[6].label, "Limit");
  EXPECT_FALSE(IsCompressorRatio(7));
  EXPECT_FALSE(IsCompressorRatio(-1));
  // Unusable input makes an unusable stream.
  LRef<LSoundStream> broken = MakeRef<LFunctionStream>(0, 1, 10, [](int64_t, int) { return 0; });
  EXPECT_FALSE(task.processor->MakeStream(broken)->Usable());
}

TEST(CompressorTest, DialogPresetsAndPreview) {
  LSegmentList selection = test::MakeSound(8000, 1, std::vector<int32_t>(4000, 100000));
  LCompressorDialog dialog(-200, 9, 300, selection);
  EXPECT_EQ(dialog.Title(), "Dynamic Range Compressor");
  EXPECT_EQ(dialog.threshold, LCompressorDialog::kThresholdMin);
  EXPECT_EQ(dialog.limit, LCompressorDialog::kLimitMax);
  EXPECT_EQ(dialog.ratioIndex, 9);  // shown as no selection, kept as it was
  EXPECT_EQ(LCompressorDialog::RatioLabels(),
            (std::vector<std::string>{"1:1", "3:2", "2:1", "3:1", "4:1", "5:1", "Limit"}));
  EXPECT_STREQ(LCompressorDialog::kPresets[0], "Voreinstellungen Wählen");
  dialog.ChoosePreset(0);
  EXPECT_EQ(dialog.ratioIndex, 9);
  dialog.ChoosePreset(1);
  EXPECT_STREQ(LCompressorDialog::kPresets[1], "Allgemeines Voice Level");
  EXPECT_EQ(dialog.threshold, -10);
  EXPECT_EQ(dialog.ratioIndex, 1);
  EXPECT_EQ(dialog.limit, 4);
  dialog.ChoosePreset(2);
  EXPECT_STREQ(LCompressorDialog::kPresets[2], "TV/Radio Unterstützung");
  EXPECT_EQ(dialog.threshold, -6);
  EXPECT_EQ(dialog.ratioIndex, 2);
  EXPECT_EQ(dialog.limit, 3);

  EXPECT_TRUE(dialog.PreviewEnabled());
  LRef<LSoundStream> preview = dialog.PreviewStream();
  LCompressorStream expected(OpenSegmentStream(selection), -6, kCompressorRatios[2].factor);
  EXPECT_EQ(test::ReadFrames(*preview, 4000), test::ReadFrames(expected, 4000));
  LSegmentList empty;
  EXPECT_FALSE(LCompressorDialog(0, 0, 0, empty).PreviewEnabled());
}

}  // namespace
}  // namespace klangor
