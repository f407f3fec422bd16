#include "support/stream_contract.h"

#include <algorithm>
#include <vector>

#include "support/test_streams.h"

namespace klangor::test {
namespace {

std::vector<int32_t> ReadAtOnce(LSoundStream& stream, int32_t frames) {
  std::vector<int32_t> samples(static_cast<size_t>(frames) * stream.Channels());
  stream.Read(samples.data(), frames);
  return samples;
}

}  // namespace

std::string StreamCaseName(const ::testing::TestParamInfo<LStreamCase>& info) { return info.param.name; }

TEST_P(StreamContractTest, ReadsDoNotDependOnSlicing) {
  const LStreamCase& c = GetParam();
  LRef<LSoundStream> whole = c.make();
  ASSERT_EQ(whole->Position(), 0);
  const std::vector<int32_t> expected = ReadAtOnce(*whole, c.frames);
  EXPECT_EQ(whole->Position(), c.frames);
  uint32_t seed = 1;
  for (int32_t maxPiece : {37, 2000, 9000}) {
    LRef<LSoundStream> sliced = c.make();
    ASSERT_EQ(ReadInRandomPieces(*sliced, c.frames, maxPiece, seed++), expected) << "pieces up to " << maxPiece;
    EXPECT_EQ(sliced->Position(), c.frames);
  }
}

TEST_P(StreamContractTest, AReadAfterASeekDoesNotDependOnEarlierReads) {
  const LStreamCase& c = GetParam();
  if (c.seekKeepsState != nullptr) GTEST_SKIP() << c.seekKeepsState;
  const int32_t count = std::min(c.frames / 2, 5000);
  LRef<LSoundStream> used = c.make();
  uint32_t seed = 7;
  for (int32_t at : {c.frames / 3, 0, c.frames - count / 3, c.frames / 2 + 1, -40, c.frames + 300}) {
    LRef<LSoundStream> fresh = c.make();
    fresh->Seek(at);
    ASSERT_EQ(fresh->Position(), at);
    const std::vector<int32_t> expected = ReadAtOnce(*fresh, count);
    // The used stream has read elsewhere (and past the end) before it seeks.
    ReadInRandomPieces(*used, c.frames / 4 + static_cast<int32_t>(seed) * 311, 3000, seed);
    used->Seek(at);
    EXPECT_EQ(used->Position(), at);
    EXPECT_EQ(ReadInRandomPieces(*used, count, 1500, seed + 100), expected) << "after a seek to " << at;
    EXPECT_EQ(used->Position(), at + count);
    ++seed;
  }
}

}  // namespace klangor::test
