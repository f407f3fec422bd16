// Waveform columns against computations straight from the samples: the sample path and the
// peak-file path, combined, split and magnified, gains and segment boundaries, which path a
// zoom takes, runs over part of the columns, stopping, damaged peak files, extreme lengths;
// and the frames that differ between two versions of a sound.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/file.h"
#include "store/block_store.h"
#include "store/wave_columns.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

struct LColumns {
  std::vector<uint8_t> top;
  std::vector<uint8_t> bottom;
  bool operator==(const LColumns&) const = default;
};

// A random sound of `frames` frames with louder and quieter stretches.
std::vector<int32_t> Noise(int32_t frames, int channels, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<int32_t> samples(static_cast<size_t>(frames) * channels);
  for (size_t i = 0; i < samples.size(); ++i) {
    const int32_t level = 1 + static_cast<int32_t>((i / channels / 700) % 9) * 60000;
    samples[i] = static_cast<int32_t>(random() % (2 * level + 1)) - level;
  }
  return samples;
}

LColumnOptions Options(int32_t width, int64_t visible, bool split = false, bool magnify = false) {
  return {.split = split, .magnify = magnify, .visibleFrames = visible, .width = width};
}

// A map showing `visible` frames from `start` over `width` columns, as the window builds it.
LColumnMap Map(int64_t start, int64_t visible, int32_t width) {
  LColumnMap map;
  map.scale = static_cast<double>(std::max(width, 8)) / static_cast<double>(visible);
  map.origin = static_cast<int64_t>(static_cast<double>(start) * map.scale);
  return map;
}

LColumns Compute(LColumnSnapshot& snapshot, const LColumnMap& map, const LColumnOptions& options, int32_t first = 0,
                 int32_t end = -1) {
  if (end < 0) end = options.width;
  LColumns columns{std::vector<uint8_t>(end - first, 0xEE), std::vector<uint8_t>(end - first, 0xEE)};
  ComputeColumns(snapshot, map, options, first, end, {columns.top.data(), columns.bottom.data()});
  return columns;
}

// The sample path straight from the samples: extremes of each column's frames (the frame under
// a column that covers none), shifted and capped.
LColumns FromSamples(const std::vector<int32_t>& samples, int channels, const LColumnMap& map, int32_t width, bool split,
                     bool magnify) {
  const int shift = magnify ? 8 : 11;
  const int64_t frames = static_cast<int64_t>(samples.size()) / channels;
  auto sample = [&](int64_t f, int c) -> int64_t { return f < frames ? samples[f * channels + c] : 0; };
  LColumns out{std::vector<uint8_t>(width), std::vector<uint8_t>(width)};
  for (int32_t col = 0; col < width; ++col) {
    const int64_t f0 = map.FirstFrame(col);
    const int64_t f1 = std::max(map.FirstFrame(col + 1), f0 + 1);
    int64_t hi[2] = {0, 0}, lo[2] = {0, 0};
    for (int64_t f = f0; f < f1; ++f) {
      for (int c = 0; c < channels; ++c) {
        const int k = split ? c : 0;
        hi[k] = std::max(hi[k], sample(f, c));
        lo[k] = std::min(lo[k], sample(f, c));
      }
    }
    auto cap = [&](int64_t v) { return static_cast<uint8_t>(std::min<int64_t>(255, v >> shift)); };
    out.top[col] = split ? cap(std::max(hi[0], -lo[0])) : cap(hi[0]);
    out.bottom[col] = split ? cap(std::max(hi[1], -lo[1])) : cap(-lo[0]);
  }
  return out;
}

// The peak path for one unity-gain segment at the start of its block, from the samples: the
// block writer's group peaks, and a run from frame f that reads whole groups from group
// f / 256 on, so column c ends after ceil((first frame of c + 1 - f) / 256) groups.
LColumns FromGroups(const std::vector<int32_t>& samples, int channels, const LColumnMap& map, int32_t first,
                    int32_t end, bool split, bool magnify) {
  const int64_t frames = static_cast<int64_t>(samples.size()) / channels;
  const int64_t groups = (frames + 255) / 256;
  // Group peaks as the block writer stores them: per channel the positive and negative peak.
  std::vector<std::array<int, 4>> peaks(static_cast<size_t>(groups));
  for (int64_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      const int32_t v = samples[f * channels + c];
      auto& p = peaks[static_cast<size_t>(f / 256)];
      const int slot = split ? 2 * c : 0;
      p[slot] = std::max(p[slot], std::min(255, std::max(v, 0) >> 11));
      p[slot + 1] = std::max(p[slot + 1], static_cast<int>(std::min<int64_t>(255, -int64_t{std::min(v, 0)} >> 11)));
    }
  }
  const int64_t f = map.FirstFrame(first);
  const int64_t g0 = f / 256;
  auto done = [&](int32_t col) { return (map.FirstFrame(col + 1) - f + 255) / 256; };
  LColumns out{std::vector<uint8_t>(end - first), std::vector<uint8_t>(end - first)};
  int64_t from = 0;
  for (int32_t col = first; col < end; ++col) {
    const int64_t to = std::max(done(col), from);
    int hi = 0, lo = 0;
    for (int64_t g = g0 + from; g < g0 + to && g < groups; ++g) {
      const auto& p = peaks[static_cast<size_t>(g)];
      hi = std::max(hi, split ? std::max(p[0], p[1]) : p[0]);
      lo = std::max(lo, split ? std::max(p[2], p[3]) : p[1]);
    }
    const int factor = magnify ? 2048 : 256;
    out.top[col - first] = static_cast<uint8_t>(std::min(255, (hi * factor) >> 8));
    out.bottom[col - first] = static_cast<uint8_t>(std::min(255, (lo * factor) >> 8));
    from = to;
  }
  return out;
}

std::vector<int32_t> Constant(int32_t frames, std::vector<int32_t> frame) {
  std::vector<int32_t> samples;
  for (int32_t i = 0; i < frames; ++i) samples.insert(samples.end(), frame.begin(), frame.end());
  return samples;
}

std::string PeakFile(const LSegmentList& sound) {
  return LBlockStore::Instance().FileName(sound.Segments()[0].Block(), LBlockFile::kPeaks);
}

TEST(WaveColumnsTest, SamplePathMatchesTheSamplesInEveryMode) {
  for (int channels : {1, 2}) {
    const std::vector<int32_t> samples = Noise(60000, channels, 7 + channels);
    LColumnSnapshot snapshot(test::MakeSound(44100, channels, samples));
    for (bool split : {false, true}) {
      for (bool magnify : {false, true}) {
        // Frames per column 200, 37 and below one (several columns per frame).
        for (auto [start, visible, width] : {std::tuple{1234, 200 * 150, 150}, std::tuple{999, 37 * 300, 300},
                                             std::tuple{5000, 50, 400}}) {
          SCOPED_TRACE(testing::Message() << channels << " ch, split " << split << ", magnify " << magnify
                                          << ", visible " << visible);
          const LColumnMap map = Map(start, visible, width);
          const LColumnOptions options = Options(width, visible, split, magnify);
          ASSERT_FALSE(UsesPeakFiles(options));
          const LColumns whole = Compute(snapshot, map, options);
          EXPECT_EQ(whole, FromSamples(samples, channels, map, width, split && channels == 2, magnify));
          // Any part of the columns computes alike: no seams between column ranges.
          LColumns pieced = whole;
          for (int32_t a = 0; a < width; a += 37) {
            const LColumns part = Compute(snapshot, map, options, a, std::min(a + 37, width));
            std::copy(part.top.begin(), part.top.end(), pieced.top.begin() + a);
            std::copy(part.bottom.begin(), part.bottom.end(), pieced.bottom.begin() + a);
          }
          EXPECT_EQ(pieced, whole);
        }
      }
    }
  }
}

TEST(WaveColumnsTest, PeakPathMatchesTheGroupPeaksOfTheSamples) {
  for (int channels : {1, 2}) {
    const std::vector<int32_t> samples = Noise(400000, channels, 3 + channels);
    LColumnSnapshot snapshot(test::MakeSound(44100, channels, samples));
    for (bool split : {false, true}) {
      for (bool magnify : {false, true}) {
        for (auto [start, visible, width, first] : {std::tuple{0, 400000, 200, 0}, std::tuple{12345, 300 * 700, 700, 0},
                                                    std::tuple{777, 1001 * 150, 150, 40}}) {
          SCOPED_TRACE(testing::Message() << channels << " ch, split " << split << ", magnify " << magnify
                                          << ", visible " << visible << ", first " << first);
          const LColumnMap map = Map(start, visible, width);
          const LColumnOptions options = Options(width, visible, split, magnify);
          ASSERT_TRUE(UsesPeakFiles(options));
          EXPECT_EQ(Compute(snapshot, map, options, first, width),
                    FromGroups(samples, channels, map, first, width, split && channels == 2, magnify));
        }
      }
    }
  }
}

TEST(WaveColumnsTest, FullScaleSplitChannelsAndTheChoiceOfPath) {
  // Full scale draws 255; with magnify 65280 already does from the samples (the peak files
  // hold 65280 >> 11 = 31, which magnified is 248).
  for (auto [value, magnify, fromPeaks] : {std::tuple{524272, false, 255}, std::tuple{65280, true, 248}}) {
    LColumnSnapshot snapshot(test::MakeSound(44100, 1, Constant(100000, {value})));
    for (auto [visible, full] : {std::pair{100000, fromPeaks}, std::pair{20000, 255}}) {  // peak files, samples
      const LColumns columns = Compute(snapshot, Map(0, visible, 100), Options(100, visible, false, magnify));
      EXPECT_EQ(columns.top, std::vector<uint8_t>(100, full)) << visible;
      EXPECT_EQ(columns.bottom, std::vector<uint8_t>(100, 0)) << visible;
    }
  }
  // Split: a full left channel and a silent right one, from both paths.
  LColumnSnapshot stereo(test::MakeSound(44100, 2, Constant(100000, {-524272, 0})));
  for (int64_t visible : {100000, 20000}) {
    const LColumns columns = Compute(stereo, Map(0, visible, 100), Options(100, visible, true));
    EXPECT_EQ(columns.top, std::vector<uint8_t>(100, 255));
    EXPECT_EQ(columns.bottom, std::vector<uint8_t>(100, 0));
  }
  // 300 frames per column read the peak files, 200 the samples: without the audio file only
  // the peak path still sees the sound.
  LSegmentList sound = test::MakeSound(44100, 1, Constant(60000, {300000}));
  ASSERT_TRUE(RemoveFile(LBlockStore::Instance().FileName(sound.Segments()[0].Block(), LBlockFile::kAudio)));
  LColumnSnapshot noAudio(sound);
  EXPECT_EQ(Compute(noAudio, Map(0, 300 * 100, 100), Options(100, 300 * 100)).top[50], 300000 >> 11);
  EXPECT_EQ(Compute(noAudio, Map(0, 200 * 100, 100), Options(100, 200 * 100)).top[50], 0);
}

TEST(WaveColumnsTest, SegmentGainsAndBoundariesInThePeakFiles) {
  const LSegmentList loud = test::MakeSound(44100, 1, Constant(256 * 400, {524272}));
  // 50 % gain: factor 127 instead of 256.
  LSegmentList half = loud;
  half.ScaleGain(50);
  LColumnSnapshot halfSnapshot(half);
  EXPECT_EQ(Compute(halfSnapshot, Map(0, 256 * 400, 100), Options(100, 256 * 400)).top[10], (255 * 127) >> 8);

  // A column across a boundary from a unity segment to a 200 % one: the first part's peak is
  // converted to the second factor (512) before the final scaling.
  const LSegmentList quiet = test::MakeSound(44100, 1, Constant(256 * 400, {101 << 11}));
  LSegmentList doubled = test::MakeSound(44100, 1, Constant(256 * 400, {20 << 11}));
  doubled.ScaleGain(200);
  LSegmentList joined = quiet;
  joined.Insert(joined.Length(), doubled);
  LColumnSnapshot snapshot(joined);
  const int factor = joined.Segments()[1].gain >> 16;  // 511: 200 % of unity in whole hundredths
  // Columns of 2000 frames: column 51 (frames 102000..104000) reads the last group of the
  // first segment and then the first groups of the second.
  LColumnMap offset;
  offset.scale = 1.0 / 2000;
  offset.origin = 0;
  const LColumns across = Compute(snapshot, offset, Options(100, 2000 * 100));
  EXPECT_EQ(across.top[50], 101);
  EXPECT_EQ(across.top[51], std::min(255, ((101 * 256 / factor) * factor) >> 8));
  EXPECT_EQ(across.top[52], (20 * factor) >> 8);
}

TEST(WaveColumnsTest, DamagedPeakFilesStoppingAndExtremeLengths) {
  // A missing peak file draws as silence; a short one keeps what it has.
  LSegmentList missing = test::MakeSound(44100, 1, Constant(256 * 1000, {400000}));
  ASSERT_TRUE(RemoveFile(PeakFile(missing)));
  LColumnSnapshot missingSnapshot(missing);
  EXPECT_EQ(Compute(missingSnapshot, Map(0, 256 * 1000, 100), Options(100, 256 * 1000)).top,
            std::vector<uint8_t>(100, 0));
  LSegmentList shortened = test::MakeSound(44100, 1, Constant(256 * 1000, {400000}));
  {
    LFile file = LFile::Open(PeakFile(shortened), LFileMode::kReadWrite);
    ASSERT_TRUE(file.Truncate(2 * 500 + 1));  // 500 whole groups and half an entry
  }
  LColumnSnapshot shortSnapshot(shortened);
  const LColumns cut = Compute(shortSnapshot, Map(0, 256 * 1000, 100), Options(100, 256 * 1000));
  EXPECT_EQ(cut.top[10], 400000 >> 11);
  EXPECT_EQ(cut.top[49], 400000 >> 11);
  EXPECT_EQ(cut.top[50], 400000 >> 11);  // the half entry still holds the positive peak
  EXPECT_EQ(cut.bottom[50], 0);
  EXPECT_EQ(cut.top[60], 0);

  // Stopping after any column.
  std::vector<uint8_t> top(100, 0), bottom(100, 0);
  EXPECT_EQ(ComputeColumns(shortSnapshot, Map(0, 256 * 1000, 100), Options(100, 256 * 1000), 0, 100,
                           {top.data(), bottom.data()}, [](int32_t done) { return done == 7; }),
            7);
  EXPECT_EQ(top[6], 400000 >> 11);
  EXPECT_EQ(top[7], 0);

  // 0 frames, 1 frame, and the largest length (one second repeated) at full zoom-out.
  LSegmentList one = test::MakeSound(44100, 2, {300000, -300000});
  LSegmentList largest = test::MakeSound(44100, 2, Constant(44100, {200000, -100000}));
  largest.RepeatRange(0, 44100, INT32_MAX / 44100);
  largest.InsertSilence(largest.Length(), INT32_MAX);
  ASSERT_EQ(largest.Length(), INT32_MAX);
  for (const LSegmentList* sound : {&one, &largest}) {
    LColumnSnapshot snapshot(*sound);
    for (int32_t width : {1, 2000, 10000}) {
      const int64_t visible = std::max(sound->Length(), 1);
      const LColumns columns = Compute(snapshot, Map(0, visible, width), Options(width, visible));
      EXPECT_EQ(columns.top[0], sound == &one ? 300000 >> 11 : 200000 >> 11) << width;
    }
  }
  LColumnSnapshot empty{LSegmentList(44100, 1)};
  EXPECT_EQ(Compute(empty, Map(0, 44100, 500), Options(500, 44100)).top, std::vector<uint8_t>(500, 0));
  EXPECT_EQ(Compute(empty, Map(0, 20, 500), Options(500, 20)).top, std::vector<uint8_t>(500, 0));
  // A range outside the columns and a zero scale do nothing harmful.
  LColumnMap zero;
  zero.scale = 0;
  EXPECT_EQ(Compute(empty, zero, Options(50, 0)).top, std::vector<uint8_t>(50, 0));
  EXPECT_EQ(ComputeColumns(empty, zero, Options(50, 0), 60, 80, {top.data(), bottom.data()}), 0);
}

TEST(WaveColumnsTest, ChangedFramesOfTwoVersions) {
  const LSegmentList sound = test::MakeSound(44100, 1, Noise(10000, 1, 1));
  auto changed = [&](const LSegmentList& after) {
    const LFrameRange range = ChangedFrames(sound, after);
    return std::pair{range.start, range.end};
  };
  // The same audio cut into other segments is no change.
  LSegmentList resplit = sound;
  LSegmentList piece;
  resplit.CutRange(3000, 4000, piece);
  resplit.Insert(3000, piece);
  EXPECT_EQ(resplit.Segments().size(), 3u);
  const LFrameRange same = ChangedFrames(sound, resplit);
  EXPECT_TRUE(same.Empty());
  // A gain change is the changed range only; so is silence put over a range.
  LSegmentList louder = sound;
  louder.ScaleRangeGain(2000, 2500, 150);
  EXPECT_EQ(changed(louder), (std::pair<int64_t, int64_t>{2000, 2500}));
  LSegmentList silenced = sound;
  silenced.DeleteRange(100, 200);
  silenced.InsertSilence(100, 100);
  EXPECT_EQ(changed(silenced), (std::pair<int64_t, int64_t>{100, 200}));
  // A change of length moves everything after it.
  LSegmentList shorter = sound;
  shorter.DeleteRange(6000, 6100);
  EXPECT_EQ(changed(shorter), (std::pair<int64_t, int64_t>{6000, 10000}));
  LSegmentList longer = sound;
  longer.InsertSilence(10000, 50);
  EXPECT_EQ(changed(longer), (std::pair<int64_t, int64_t>{10000, 10050}));
  EXPECT_EQ(changed(LSegmentList(44100, 1)), (std::pair<int64_t, int64_t>{0, 10000}));
}

}  // namespace
}  // namespace klangor
