#include <gtest/gtest.h>

#include <vector>

#include "audio/error_stream.h"
#include "audio/pump.h"
#include "audio/sample_format.h"
#include "effects/fixed_point.h"
#include "effects/processing_pump.h"
#include "dynamics_test_util.h"

namespace klangor {
namespace {

using test::LCancelAfter;
using test::LFunctionStream;
using test::LMemorySink;

LRef<LSoundStream> Ramp(int32_t length, int channels = 2, int32_t fullScale = kFullScale16, int32_t rate = 44100) {
  return MakeRef<LFunctionStream>(rate, channels, length,
                                  [](int64_t f, int c) { return static_cast<int32_t>(f * 4 + c); }, fullScale);
}

TEST(ProcessingPumpTest, CopiesFromThePositionToTheEndAndShowsItsLines) {
  LRef<LSoundStream> source = Ramp(30000);
  source->Seek(1000);
  auto sink = MakeRef<LMemorySink>(44100, 2);
  test::LRecordingProgress progress;
  EXPECT_EQ(ProcessingPump("Lade Datei x.wav", source, *sink, progress), LResult::kDone);
  EXPECT_EQ(progress.title, "Lade Datei x.wav");
  EXPECT_EQ(progress.status, "Bitte warten...");
  ASSERT_EQ(sink->FramesWritten(), 29000);
  EXPECT_EQ(sink->samples[0], 4000);
  EXPECT_EQ(sink->samples.back(), 29999 * 4 + 1);
  EXPECT_EQ(progress.questions, 5);  // before each of the four pieces, and once more at the end
  EXPECT_DOUBLE_EQ(progress.fractions.back(), 1.0);
}

TEST(ProcessingPumpTest, CancelAndSinkFailureStopTheRun) {
  auto sink = MakeRef<LMemorySink>(44100, 2);
  LCancelAfter cancelThird(2);
  EXPECT_EQ(ProcessingPump("t", Ramp(100000), *sink, cancelThird), LResult::kCancelled);
  EXPECT_EQ(sink->FramesWritten(), 2 * kPumpFrames);

  auto failing = MakeRef<LMemorySink>(44100, 2);
  failing->failAfterFrames = 10000;
  LSilentProgress progress;
  EXPECT_EQ(ProcessingPump("t", Ramp(100000), *failing, progress), LResult::kFailed);
}

TEST(ProcessingPumpTest, FailsOnUnusableEnds) {
  LSilentProgress progress;
  auto sink = MakeRef<LMemorySink>(44100, 1);
  EXPECT_EQ(ProcessingPump("t", MakeErrorStream(LStreamState::kCorrupt), *sink, progress), LResult::kFailed);
  EXPECT_EQ(ProcessingPump("t", nullptr, *sink, progress), LResult::kFailed);
  auto nullSink = MakeRef<LNullSink>();
  EXPECT_EQ(ProcessingPump("t", Ramp(10, 1), *nullSink, progress), LResult::kFailed);
  EXPECT_EQ(sink->FramesWritten(), 0);
  // Sources of other formats are adapted to the sink (format_adapter_test.cpp).
}

TEST(ProcessingPumpTest, LimitsSourcesThatMayExceedSixteenBitFullScale) {
  LSilentProgress progress;
  // A document stream within 16-bit full scale passes untouched.
  auto quiet = MakeRef<LMemorySink>(44100, 1);
  EXPECT_EQ(ProcessingPump("t", Ramp(50000, 1, kDocumentFullScale), *quiet, progress), LResult::kDone);
  EXPECT_EQ(quiet->samples, test::ReadAll(*Ramp(50000, 1)));

  // A loud one is brought within it.
  auto loud = MakeRef<LMemorySink>(44100, 2);
  EXPECT_EQ(ProcessingPump("t", test::Passages(44100, 2, 88200, 100000, 2000000, 250), *loud, progress),
            LResult::kDone);
  ASSERT_EQ(loud->FramesWritten(), 88200);
  EXPECT_LE(PeakOf(loud->samples.data(), loud->samples.size()), kFullScale16);

  // A decoded file claims 16-bit full scale: nothing is limited.
  auto decoded = MakeRef<LMemorySink>(44100, 1);
  LRef<LSoundStream> beyond = MakeRef<LFunctionStream>(44100, 1, 3, [](int64_t f, int) {
    return static_cast<int32_t>((f - 1) * 600000);
  });
  EXPECT_EQ(ProcessingPump("t", beyond, *decoded, progress), LResult::kDone);
  EXPECT_EQ(decoded->samples, (std::vector<int32_t>{-600000, 0, 600000}));
}

}  // namespace
}  // namespace klangor
