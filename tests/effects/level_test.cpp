// The effects' level arithmetic: dB bytes, the level byte, one-pole filters, the compressor's
// gain table and the volume control's tracker.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dsp/db_table.h"
#include "dsp/fixed_point.h"
#include "effects/gain_table.h"
#include "effects/level.h"
#include "effects/level_tracker.h"
#include "effects/one_pole.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(DbTableTest, GainsFollowTheDecibelsUpToTheCapAndRoundTrip) {
  for (int d = -126; d <= 42; ++d) EXPECT_NEAR(GainOfDb(d), std::pow(10.0, d / 20.0) * 16777216.0, 1.0) << d;
  EXPECT_EQ(GainOfDb(0), kUnityQ24);
  EXPECT_EQ(GainOfDb(-127), 0);
  EXPECT_EQ(GainOfDb(-1000), 0);    // out-of-range bytes are clamped
  EXPECT_EQ(GainOfDb(43), kMax);    // capped
  EXPECT_EQ(GainOfDb(1000), kMax);
  EXPECT_EQ(PowerGainOfDb(-126), 0);
  EXPECT_EQ(PowerGainOfDb(127), kMax);
  for (int d = -63; d <= 63; ++d) EXPECT_EQ(PowerGainOfDb(d), GainOfDb(2 * d)) << d;

  EXPECT_EQ(DbByteOfGain(0), -127);
  EXPECT_EQ(DbByteOfGain(-5), -127);
  EXPECT_EQ(DbByteOfGain(1), -127);  // -144 dB is clamped
  EXPECT_EQ(DbByteOfGain(kUnityQ24 - 1), 0);
  EXPECT_EQ(DbByteOfGain(kMax), 42);
  for (int d = -126; d <= 127; ++d) EXPECT_EQ(DbByteOfGain(GainOfDb(d)), std::min(d, 42)) << d;
}

TEST(LevelTest, MeanSquareIsExactAndTheLevelRoundsAwayFromZero) {
  std::mt19937 random(11);
  for (int round = 0; round < 50; ++round) {
    const size_t count = 1 + random() % 2000;
    std::vector<int32_t> samples(count);
    for (int32_t& s : samples) s = static_cast<int32_t>(random());
    uint64_t sum = 0;
    for (int32_t s : samples) sum += static_cast<uint64_t>(int64_t{s >> 5} * (s >> 5));
    ASSERT_EQ(MeanSquare(samples.data(), count), sum / count);
  }
  // Three million of the most negative sample: the sum is far beyond 64 bits.
  std::vector<int32_t> loudest(3000000, kMin);
  EXPECT_EQ(MeanSquare(loudest.data(), loudest.size()), uint64_t{1} << 52);
  EXPECT_EQ(LevelOf(loudest.data(), loudest.size()), 87);
  std::vector<int32_t> mixed = {kMin, kMax, 0};
  EXPECT_EQ(MeanSquare(mixed.data(), 3), ((uint64_t{1} << 52) + (uint64_t{67108863} * 67108863)) / 3);

  EXPECT_EQ(LevelOfMeanSquare(0), -127);
  EXPECT_EQ(LevelOfMeanSquare(1), -69);
  EXPECT_EQ(LevelOfMeanSquare(kLevelReference - 1), 0);
  EXPECT_EQ(LevelOfMeanSquare(kLevelReference), 0);
  EXPECT_EQ(LevelOfMeanSquare(kLevelReference * 10), 10);
}

TEST(LevelTest, KnownSignals) {
  std::vector<int32_t> silence(882, 0);
  EXPECT_EQ(LevelOf(silence.data(), silence.size()), -127);
  EXPECT_EQ(LevelOf(silence.data(), 0), -127);
  std::vector<int32_t> square(1000);
  for (size_t i = 0; i < square.size(); ++i) square[i] = i % 2 == 0 ? 524272 : -524272;
  EXPECT_EQ(LevelOf(square.data(), square.size()), 15);
  std::vector<int32_t> sine = test::Tone(44100, 1, 4410, 1000, 524272);  // 100 periods, 16-bit full scale
  EXPECT_EQ(LevelOf(sine.data(), sine.size()), 12);
  // 20 dB down: 10 levels per factor of ten in power.
  for (int32_t& s : sine) s /= 10;
  EXPECT_EQ(LevelOf(sine.data(), sine.size()), -8);
}

// The filters' arithmetic is checked exactly by the AM radio effect; here the ends.
TEST(OnePoleTest, CoefficientsAtTheirEndsAndGarbageInputWraps) {
  EXPECT_EQ(OnePoleCoefficient(450, 44100), 15);
  EXPECT_EQ(OnePoleCoefficient(450, 0), 0);
  EXPECT_EQ(OnePoleCoefficient(1e9, 8000), 256);
  EXPECT_EQ(OnePoleFullScale(524272), 1048544);
  EXPECT_EQ(OnePoleFullScale(2097152), 2097152);
  LOnePoleHighPass high(OnePoleCoefficient(450, 44100));
  LOnePoleLowPass low(OnePoleCoefficient(450, 44100));
  for (int32_t x : {kMax, kMin, kMax, kMin}) {
    high.Process(x);
    low.Process(x);
  }
}

TEST(GainTableTest, FlatAtOneToOneAndUnityAtLevelZero) {
  for (int threshold : {-128, -20, 0, 50, 127}) {
    const LGainTable flat = BuildGainTable(threshold, 127, 1.0);
    for (int32_t gain : flat) ASSERT_EQ(gain, kUnityQ24);
  }
  const double twoToOne = 0.9440608762859234;
  const LGainTable table = BuildGainTable(-20, 127, twoToOne);
  EXPECT_EQ(GainForLevel(table, -128), GainForLevel(table, -20));  // below the threshold: flat
  EXPECT_EQ(GainForLevel(table, -20), 53054215);
  EXPECT_NEAR(GainForLevel(table, 0), kUnityQ24, 1);
  EXPECT_NEAR(GainForLevel(table, 10), kUnityQ24 * std::pow(twoToOne, 10), 2);
  for (int level = -127; level <= 127; ++level) {
    ASSERT_LE(GainForLevel(table, level), GainForLevel(table, level - 1)) << level;
  }
  // With an upper level, everything above it loses 1 dB per dB.
  const LGainTable limited = BuildGainTable(-20, 10, twoToOne);
  EXPECT_NEAR(static_cast<double>(GainForLevel(limited, 20)) / GainForLevel(limited, 10), std::pow(0.8913, 10), 1e-6);
  // A low threshold with "Limit" asks for more than 32 bits: capped, never wrapped.
  const LGainTable steep = BuildGainTable(-128, 127, 0.8912509382363546);
  EXPECT_EQ(GainForLevel(steep, -128), kMax);
  EXPECT_NEAR(GainForLevel(steep, 0), kUnityQ24, 2);
  // A factor that is no number gives a flat table.
  for (double bad : {0.0, -1.0, std::nan("")}) EXPECT_EQ(GainForLevel(BuildGainTable(-20, 127, bad), 50), kUnityQ24);
}

TEST(LevelTrackerTest, QuantileIsTheThirteenthHighestOfTheLastFiftyWindows) {
  LLevelTracker tracker(2, -8);
  EXPECT_EQ(tracker.Quantile(), 0);
  EXPECT_EQ(tracker.Smoothed(), 0);
  for (int level = 0; level < 50; ++level) tracker.Add(level);
  EXPECT_EQ(tracker.Quantile(), 37);  // 37..49 are 13 windows
  EXPECT_EQ(tracker.Oldest(), 0);
  tracker.Add(-100);
  EXPECT_EQ(tracker.Oldest(), 1);
  EXPECT_EQ(tracker.Quantile(), 37);
  for (int i = 0; i < 50; ++i) tracker.Add(-127);
  EXPECT_EQ(tracker.Quantile(), -127);
  for (int i = 0; i < 12; ++i) tracker.Add(127);
  EXPECT_EQ(tracker.Quantile(), -127);
  tracker.Add(127);
  EXPECT_EQ(tracker.Quantile(), 127);
}

TEST(LevelTrackerTest, SmoothedLevelRisesFastFallsSlowlyAndStopsBeyondItsBounds) {
  LLevelTracker tracker(2, -8);  // bounds -2 and 8
  // The smoothed level moves only once the oldest entry of the ring has the new level too,
  // that is after 50 windows. It moves while it is below the upper bound, so its last step
  // may take it a little beyond.
  int windows = 0;
  for (; tracker.Smoothed() < 8 && windows < 1000; ++windows) tracker.Add(30);
  const int high = tracker.Smoothed();
  EXPECT_GE(high, 8);
  EXPECT_LE(high, 10);
  const int rise = windows - 50;
  for (int i = 0; i < 500; ++i) tracker.Add(30);
  EXPECT_EQ(tracker.Smoothed(), high);  // held

  windows = 0;
  for (; tracker.Smoothed() > -2 && windows < 5000; ++windows) tracker.Add(-30);
  const int low = tracker.Smoothed();
  EXPECT_LE(low, -2);
  EXPECT_GE(low, -3);
  EXPECT_GT(rise, 0);
  EXPECT_GT(windows - 50, 2 * rise);  // release at 1/50 is slower than attack at 1/12
  for (int i = 0; i < 500; ++i) tracker.Advance();
  EXPECT_EQ(tracker.Smoothed(), low);

  LLevelTracker garbage(500, -500);  // bounds are clamped
  garbage.Add(1000);
  garbage.Add(-1000);
  EXPECT_GE(garbage.Quantile(), -127);
}

TEST(LevelTrackerTest, VolumeCurveKneesAndSlopes) {
  const LVolumeCurve curve = BuildVolumeCurve(-9, 2, -0.5);
  // Flat below the low knee (4.5 rounds away from zero), half a dB per dB between the knees,
  // one dB per dB above the high one, and out-of-range levels clamped.
  const std::vector<std::pair<int, int>> gains = {{-128, 5}, {-10, 5}, {-9, 5}, {-8, 4},    {0, 0},      {1, -1},
                                                  {2, -1},   {3, -2},  {12, -11}, {127, -126}, {1000, -126}};
  for (auto [level, gain] : gains) EXPECT_EQ(VolumeCurveGain(curve, level), gain) << level;
}

}  // namespace
}  // namespace klangor
