// Saving: a file that cannot fit on its disk is refused before anything is written, and the
// file that was there stays as it was.

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "docio/load_save.h"
#include "formats/format_table.h"
#include "formats/open_messages.h"
#include "platform/paths.h"
#include "store/segment_stream.h"
#include "support/test_env.h"

namespace klangor {
namespace {

TEST(SaveTest, ASaveThatCannotFitIsRefusedBeforeItStarts) {
  // 2^31 - 1 frames of 255 channels: over a terabyte of WAV data, and silence costs nothing.
  LSegmentList sound(44100, 255);
  sound.InsertSilence(0, INT32_MAX);
  const int64_t bytes = int64_t{INT32_MAX} * 255 * 2;
  const std::string folder = JoinPath(test::TempDir(), "refused");
  ASSERT_TRUE(EnsureFolder(folder));
  const std::string path = JoinPath(folder, "take.wav");
  if (FreeBytesAvailable(folder) > bytes) GTEST_SKIP() << "the disk holds even this";
  test::WriteBytes(path, "the old file");

  LSilentProgress progress;
  LSaveFailure failure = LSaveFailure::kNone;
  const LFormatEntry* wave = FindFormat("wav");
  const LResult result = SaveStream(
      OpenSegmentStream(sound), path,
      [&](const std::string& target) { return wave->create(target, 44100, 255, LFormatSettings{}); }, progress, &failure);
  EXPECT_EQ(result, LResult::kFailed);
  EXPECT_EQ(failure, LSaveFailure::kNoSpace);
  EXPECT_EQ(test::ReadBytes(path), "the old file");
  EXPECT_EQ(ListFolder(folder).size(), 1u) << "no temporary file is left";
  EXPECT_EQ(SaveFailureMessage(failure, path), NoSpaceToSaveMessage(path));
  EXPECT_NE(NoSpaceToSaveMessage("a.wav").find("Kann die Datei nicht speichern, \"a.wav\" da nicht genügend"),
            std::string::npos);

  // A save that fits goes through, and says so.
  LSegmentList small(8000, 1);
  small.InsertSilence(0, 100);
  EXPECT_EQ(SaveStream(OpenSegmentStream(small), path,
                       [&](const std::string& target) { return wave->create(target, 8000, 1, LFormatSettings{}); },
                       progress, &failure),
            LResult::kDone);
  EXPECT_EQ(failure, LSaveFailure::kNone);
  EXPECT_EQ(test::ReadBytes(path).size(), 46u + 200);
}

}  // namespace
}  // namespace klangor
