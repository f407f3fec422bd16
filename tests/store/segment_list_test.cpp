// Segment lists: the integer gain rule, and thousands of random edits (delete, extract, insert,
// silence, crop, replace, repeat, gain, trim, ranges reaching past either end) against the same
// edits on a plain array, with the block references and files checked after every step.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "platform/file.h"
#include "store/segment_list.h"
#include "store/segment_stream.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

LBlockStore& Store() { return LBlockStore::Instance(); }

// A mono sound whose frame i holds (base + i) x 16.
LSegmentList Numbered(int32_t frames, int32_t base = 1) {
  std::vector<int32_t> samples(static_cast<size_t>(frames));
  for (int32_t i = 0; i < frames; ++i) samples[static_cast<size_t>(i)] = (base + i) * 16;
  return test::MakeSound(44100, 1, samples);
}

struct Piece {
  bool silence;
  int32_t start;
  int32_t length;
  bool operator==(const Piece&) const = default;
};

std::vector<Piece> Pieces(const LSegmentList& list) {
  std::vector<Piece> pieces;
  for (const LSegment& s : list.Segments()) pieces.push_back({s.IsSilence(), s.start, s.length});
  return pieces;
}

// What the random edits below do not do: insert a list into itself, extract a reversed range.
TEST(SegmentListTest, InsertIntoItselfAndReversedExtract) {
  LSegmentList list = Numbered(100);
  list.Insert(40, list);
  EXPECT_EQ(Pieces(list), (std::vector<Piece>{{false, 0, 40}, {false, 0, 100}, {false, 40, 60}}));
  LSegmentList untouched = Numbered(5);
  list.ExtractRange(10, 5, untouched);
  EXPECT_EQ(untouched.Length(), 5);
}

TEST(SegmentListTest, GainScalingFollowsTheIntegerRule) {
  EXPECT_EQ(ScaledGain(kUnityGain, 50), 8388600);
  EXPECT_EQ(ScaledGain(kUnityGain, 100), kUnityGain);
  EXPECT_EQ(ScaledGain(kMaxGain, 50), kMaxGain);  // the largest gain stays where it is
  // Above 100 % a gain at or above (2147483647 / percent) x 100 goes to the largest gain.
  EXPECT_EQ(ScaledGain(kUnityGain, 20000), kMaxGain);
  EXPECT_EQ(ScaledGain(kUnityGain, 200), 33554400);

  LSegmentList list = Numbered(100);
  list.ScaleRangeGain(10, 20, 50);
  ASSERT_EQ(list.Segments().size(), 3u);
  EXPECT_EQ(list.Segments()[1].gain, 8388600);
  std::vector<int32_t> audio = test::ReadAll(*OpenSegmentStream(list));
  EXPECT_EQ(audio[10], (255 * 11 * 16) >> 9);  // 8388600 >> 15 = 255
  EXPECT_EQ(audio[9], 10 * 16);
}

// The same edits applied to a plain array of frames, as the reference.
struct LModelFrame {
  int32_t value;  // 0 for silence
  int32_t gain;
};
using LModel = std::vector<LModelFrame>;

LModel ModelExtract(const LModel& m, int64_t s, int64_t e) {
  LModel out;
  for (int64_t i = s; i < e; ++i) {
    out.push_back(i >= 0 && i < static_cast<int64_t>(m.size()) ? m[static_cast<size_t>(i)]
                                                                : LModelFrame{0, kUnityGain});
  }
  return out;
}

void ModelDelete(LModel& m, int64_t s, int64_t e) {
  if (s >= e || e < 0) return;
  s = std::max<int64_t>(s, 0);
  e = std::min<int64_t>(e, static_cast<int64_t>(m.size()));
  if (s < e) m.erase(m.begin() + s, m.begin() + e);
}

void ModelInsert(LModel& m, int64_t p, const LModel& other) {
  const LModelFrame silence{0, kUnityGain};
  const auto size = static_cast<int64_t>(m.size());
  if (p <= 0) {
    LModel front = other;
    front.insert(front.end(), static_cast<size_t>(-p), silence);
    m.insert(m.begin(), front.begin(), front.end());
  } else if (p >= size) {
    m.insert(m.end(), static_cast<size_t>(p - size), silence);
    m.insert(m.end(), other.begin(), other.end());
  } else {
    m.insert(m.begin() + p, other.begin(), other.end());
  }
}

void ModelInsertSilence(LModel& m, int64_t p, int64_t n) {
  if (p < 0) {
    if (p + n <= 0) return;
    n += p;
    p = 0;
  }
  const auto size = static_cast<int64_t>(m.size());
  if (p >= size) {
    m.insert(m.end(), static_cast<size_t>(std::max<int64_t>(n + p - size, 0)), LModelFrame{0, kUnityGain});
  } else if (n > 0) {
    m.insert(m.begin() + p, static_cast<size_t>(n), LModelFrame{0, kUnityGain});
  }
}

std::vector<int32_t> Expected(const LModel& m) {
  std::vector<int32_t> out;
  for (const LModelFrame& f : m) {
    int64_t v = (int64_t{f.gain >> 15} * f.value) >> 9;
    out.push_back(static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)));
  }
  return out;
}

// Every block's count equals the number of segments that name it, and its files exist
// exactly while the count is above 0.
void CheckBlocks(const std::vector<const LSegmentList*>& lists, const std::vector<uint16_t>& blocks) {
  std::map<uint16_t, int> uses;
  for (const LSegmentList* list : lists) {
    for (const LSegment& s : list->Segments()) {
      ASSERT_GT(s.length, 0);
      if (!s.IsSilence()) ++uses[s.Block()];
    }
  }
  for (uint16_t block : blocks) {
    ASSERT_EQ(Store().ReferenceCount(block), uses[block]) << "block " << block;
    ASSERT_EQ(FileExists(Store().FileName(block, LBlockFile::kAudio)), uses[block] > 0);
  }
}

TEST(SegmentListTest, RandomEditsMatchAnArrayModel) {
  std::mt19937 random(20261206);
  LSegmentList list = Numbered(700, 1);
  LSegmentList second = Numbered(300, 10000);
  std::vector<uint16_t> blocks = {list.Segments()[0].Block(), second.Segments()[0].Block()};
  list.Insert(350, second);
  second.Clear();
  LModel model;
  for (int i = 0; i < 350; ++i) model.push_back({(1 + i) * 16, kUnityGain});
  for (int i = 0; i < 300; ++i) model.push_back({(10000 + i) * 16, kUnityGain});
  for (int i = 350; i < 700; ++i) model.push_back({(1 + i) * 16, kUnityGain});
  LSegmentList clip;  // a second holder, like the clipboard
  LModel clipModel;
  const int32_t percents[] = {0, 50, 99, 150, 200, 1000, 30000};

  for (int step = 0; step < 3000; ++step) {
    const auto size = static_cast<int32_t>(model.size());
    std::uniform_int_distribution<int32_t> pos(-60, size + 60);
    int32_t a = pos(random);
    int32_t b = pos(random);
    if (random() % 4 != 0 && a > b) std::swap(a, b);
    switch (random() % 10) {
      case 0: list.DeleteRange(a, b); ModelDelete(model, a, b); break;
      case 1:
        if (a <= b) {
          list.ExtractRange(a, b, clip);
          clipModel = ModelExtract(model, a, b);
        }
        break;
      case 2: list.Insert(a, clip); ModelInsert(model, a, clipModel); break;
      case 3: {
        int32_t n = static_cast<int32_t>(random() % 200) - 50;
        list.InsertSilence(a, n);
        ModelInsertSilence(model, a, n);
        break;
      }
      case 4:
        list.Crop(a, b);
        if (a > 0) ModelDelete(model, 0, a);
        ModelDelete(model, int64_t{b} - std::max(a, 0), static_cast<int64_t>(model.size()));
        break;
      case 5:
        list.ReplaceRange(a, b, clip);
        ModelDelete(model, a, b);
        ModelInsert(model, a, clipModel);
        break;
      case 6: {
        int32_t count = static_cast<int32_t>(random() % 3);
        list.RepeatRange(a, b, count);
        if (a < b && count > 0) {
          LModel piece = ModelExtract(model, a, b);
          LModel repeated;
          for (int i = 0; i < count; ++i) repeated.insert(repeated.end(), piece.begin(), piece.end());
          ModelInsert(model, a, repeated);
        }
        break;
      }
      case 7: {
        int32_t percent = percents[random() % std::size(percents)];
        list.ScaleRangeGain(a, b, percent);
        if (a < b && percent != 100) {
          LModel piece = ModelExtract(model, a, b);
          ModelDelete(model, a, b);
          for (LModelFrame& f : piece) f.gain = ScaledGain(f.gain, percent);
          ModelInsert(model, a, piece);
        }
        break;
      }
      case 8: list.TrimStart(a); if (a > 0) ModelDelete(model, 0, a); break;
      default: list.TrimEnd(b); ModelDelete(model, b, static_cast<int64_t>(model.size())); break;
    }
    if (model.size() > 5000) {
      list.TrimEnd(2000);
      ModelDelete(model, 2000, static_cast<int64_t>(model.size()));
    }
    ASSERT_EQ(list.Length(), static_cast<int32_t>(model.size())) << "step " << step;
    CheckBlocks({&list, &clip}, blocks);
    if (step % 50 == 0) {
      ASSERT_EQ(test::ReadAll(*OpenSegmentStream(list)), Expected(model)) << "step " << step;
    }
  }
  ASSERT_EQ(test::ReadAll(*OpenSegmentStream(list)), Expected(model));
  list.Clear();
  clip.Clear();
  CheckBlocks({}, blocks);
}

}  // namespace
}  // namespace klangor
