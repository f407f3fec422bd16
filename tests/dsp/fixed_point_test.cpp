// The fixed-point building blocks: Q24 and Q9 products, gain ramps and the peak rule.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "audio/sample_extremes.h"
#include "dsp/fixed_point.h"
#include "platform/cpu_features.h"

namespace klangor {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// The product of the 12-bit halves: at most two below the exact product, since the low-by-low
// term is dropped and the two cross terms are truncated apart.
TEST(FixedPointTest, Q24ProductTruncatesAtMostTwoBelowTheExactProduct) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> sample(-(1 << 23), (1 << 23) - 1);
  std::uniform_int_distribution<int32_t> gain(0, kMax);
  for (int i = 0; i < 200000; ++i) {
    const int32_t s = sample(random);
    const int32_t g = i % 2 == 0 ? gain(random) : gain(random) >> 6;  // around unity, too
    const int64_t difference = ((int64_t{s} * g) >> 24) - MulQ24(s, g);  // from the floor of the exact product
    ASSERT_GE(difference, 0) << s << " x " << g;
    ASSERT_LE(difference, 2) << s << " x " << g;
  }
}

TEST(FixedPointTest, Q24UnityKeepsEverySampleAndExtremesStayDefined) {
  for (int32_t s : {0, 1, -1, 4095, -4096, 524272, -524288, 2097152, kMax, kMin}) {
    EXPECT_EQ(MulQ24(s, kUnityQ24), s);
    EXPECT_EQ(MulQ24(s, 0), 0);
  }
  EXPECT_EQ(MulQ24(1000, kUnityQ24 / 2), 500);
  EXPECT_EQ(MulQ24(-1000, kUnityQ24 / 2), -500);
  // Far beyond full scale the high term wraps like 32-bit arithmetic (no undefined behaviour).
  EXPECT_EQ(MulQ24(kMax, kMax), -257);  // (2^19 - 1)^2 taken modulo 2^32, plus the cross terms
}

TEST(FixedPointTest, Q9ProductAndRampsSaturateOrWrapWithoutOverflow) {
  EXPECT_EQ(MulQ9(1000, kUnityQ9), 1000);
  EXPECT_EQ(MulQ9(-1001, 256), -501);  // an arithmetic shift rounds toward minus infinity
  EXPECT_EQ(MulQ9(kMax, 1024), kMax);
  EXPECT_EQ(MulQ9(kMin, 1024), kMin);

  // A ramp over mono, stereo and five channels: frame i gets gain + i x step in every channel.
  for (int channels : {1, 2, 5}) {
    std::vector<int32_t> frames(static_cast<size_t>(100 * channels), 1 << 20);
    const int32_t step = -(kUnityQ24 / 100);
    EXPECT_EQ(ApplyGainRamp(frames.data(), 100, channels, kUnityQ24, step), kUnityQ24 + 100 * step);
    std::vector<int32_t> gains(static_cast<size_t>(channels));
    std::vector<int32_t> steps(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c) {
      EXPECT_EQ(frames[static_cast<size_t>(c)], 1 << 20);
      EXPECT_EQ(frames[static_cast<size_t>(50 * channels + c)], MulQ24(1 << 20, kUnityQ24 - 50 * (kUnityQ24 / 100)));
      gains[static_cast<size_t>(c)] = kUnityQ24 * (c + 1) / 8;
      steps[static_cast<size_t>(c)] = 1000 * c;
    }
    std::vector<int32_t> ones(static_cast<size_t>(10 * channels), 1 << 24);
    ApplyChannelGainRamps(ones.data(), 10, channels, gains.data(), steps.data());
    for (int c = 0; c < channels; ++c) {
      EXPECT_EQ(ones[static_cast<size_t>(9 * channels + c)], kUnityQ24 * (c + 1) / 8 + 9000 * c);
      EXPECT_EQ(gains[static_cast<size_t>(c)], kUnityQ24 * (c + 1) / 8 + 10000 * c);
    }
  }
}

TEST(FixedPointTest, PeakIsTheLargerOfTheLargestAndTheNegatedSmallest) {
  auto peak = [](std::vector<int32_t> v) { return PeakOf(v.data(), v.size()); };
  EXPECT_EQ(peak({}), 0);
  EXPECT_EQ(peak({100, 200}), 200);
  EXPECT_EQ(peak({-100, -50}), 100);  // both start from 0
  EXPECT_EQ(peak({5, -7, 6}), 7);
  EXPECT_EQ(peak({-524288, 524272}), 524288);
  EXPECT_EQ(peak({3, kMin}), kMax);  // the most negative sample does not overflow
}

// The lane scan against a plain one, for channel counts that fill its lanes and others, with
// tails of every length and the extreme samples in every position.
TEST(FixedPointTest, FrameExtremesOfEveryChannelOnBothCodePaths) {
  std::mt19937 random(7);
  for (bool avx2 : {true, false}) {
    SetAvx2Allowed(avx2);
    for (int channels : {1, 2, 3, 4, 6, 8}) {
      for (size_t frames : {0u, 1u, 7u, 8u, 17u, 256u, 1001u}) {
        std::vector<int32_t> samples(frames * channels);
        for (int32_t& v : samples) v = std::uniform_int_distribution<int32_t>(kMin, kMax)(random) >> (random() % 20);
        if (!samples.empty()) samples[random() % samples.size()] = kMin;
        std::vector<LExtremes> expected(static_cast<size_t>(channels), LExtremes{-5, 5});
        for (size_t i = 0; i < samples.size(); ++i) {
          LExtremes& e = expected[i % static_cast<size_t>(channels)];
          e.largest = std::max(e.largest, samples[i]);
          e.smallest = std::min(e.smallest, samples[i]);
        }
        std::vector<LExtremes> got(static_cast<size_t>(channels), LExtremes{-5, 5});
        WidenFrameExtremes(samples.data(), frames, channels, got.data());
        for (int c = 0; c < channels; ++c) {
          EXPECT_EQ(got[c].largest, expected[c].largest) << avx2 << " " << channels << " " << frames;
          EXPECT_EQ(got[c].smallest, expected[c].smallest) << avx2 << " " << channels << " " << frames;
        }
      }
    }
  }
  SetAvx2Allowed(true);
}

}  // namespace
}  // namespace klangor
