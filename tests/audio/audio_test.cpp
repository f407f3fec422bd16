// Streams and filters with invalid formats, the sample conversions at the edges of each width,
// milliseconds and frames, and the pump (pieces, cancel, a failing sink).

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "audio/error_stream.h"
#include "audio/pump.h"
#include "audio/sample_format.h"
#include "audio/time_units.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using test::LCancelAfter;
using test::LFunctionStream;
using test::LMemorySink;

TEST(StreamTest, InvalidFormatFallsBackAndMarksTheStreamCorrupt) {
  auto noRate = MakeRef<LFunctionStream>(0, 2, 10, [](int64_t, int) { return 1; });
  EXPECT_EQ(noRate->SampleRate(), 44100);
  EXPECT_EQ(noRate->State(), LStreamState::kCorrupt);
  auto noChannels = MakeRef<LFunctionStream>(8000, 0, 10, [](int64_t, int) { return 1; });
  EXPECT_EQ(noChannels->Channels(), 1);
  EXPECT_EQ(noChannels->State(), LStreamState::kCorrupt);
}

TEST(StreamTest, FilterTakesItsInputsFormatAndForwardsPosition) {
  LRef<LSoundStream> input = MakeRef<LFunctionStream>(22050, 2, 50, [](int64_t f, int c) {
    return static_cast<int32_t>(f * 2 + c);
  });
  auto filter = MakeRef<test::LNegateFilter>(input);
  EXPECT_EQ(filter->SampleRate(), 22050);
  EXPECT_EQ(filter->Channels(), 2);
  EXPECT_EQ(filter->Length(), 50);
  filter->Seek(10);
  int32_t frame[2];
  filter->Read(frame, 1);
  EXPECT_EQ(frame[0], -20);
  EXPECT_EQ(frame[1], -21);
  EXPECT_EQ(filter->Position(), 11);

  auto broken = MakeRef<test::LNegateFilter>(MakeErrorStream(LStreamState::kCorrupt));
  EXPECT_EQ(broken->State(), LStreamState::kInputUnusable);
}

std::vector<uint8_t> Encode(LSampleWidth width, std::vector<int32_t> in) {
  std::vector<uint8_t> out(in.size() * BytesPerSample(width));
  EncodeSamples(width, in.data(), out.data(), in.size());
  return out;
}

std::vector<int32_t> Decode(LSampleWidth width, std::vector<uint8_t> in) {
  std::vector<int32_t> out(in.size() / BytesPerSample(width));
  DecodeSamples(width, in.data(), out.data(), out.size());
  return out;
}

TEST(SampleFormatTest, SixteenBitRoundTripsEveryValue) {
  std::vector<uint8_t> all;
  for (int v = -32768; v <= 32767; ++v) {
    all.push_back(static_cast<uint8_t>(v));
    all.push_back(static_cast<uint8_t>(v >> 8));
  }
  std::vector<int32_t> internal = Decode(LSampleWidth::k16Bit, all);
  EXPECT_EQ(internal.front(), -524288);
  EXPECT_EQ(internal.back(), 524272);
  EXPECT_EQ(Encode(LSampleWidth::k16Bit, internal), all);
}

TEST(SampleFormatTest, ConversionTableAtTheEdges) {
  EXPECT_EQ(Decode(LSampleWidth::k8Bit, {128, 0, 255}), (std::vector<int32_t>{0, -524288, 520192}));
  EXPECT_EQ(Encode(LSampleWidth::k8Bit, {0, -524288, 520192, 2047, 2048}),
            (std::vector<uint8_t>{128, 0, 255, 128, 129}));
  // The top of the 16-bit range stays the largest byte instead of wrapping to the smallest.
  EXPECT_EQ(Encode(LSampleWidth::k8Bit, {522239, 522240, 524272, 524288}),
            (std::vector<uint8_t>{255, 255, 255, 0}));
  // 24-bit: sample >> 4 (truncating toward minus infinity), written back as x x 16.
  EXPECT_EQ(Decode(LSampleWidth::k24Bit, {0xff, 0xff, 0x7f, 0x00, 0x00, 0x80, 0xff, 0xff, 0xff}),
            (std::vector<int32_t>{524287, -524288, -1}));
  EXPECT_EQ(Encode(LSampleWidth::k24Bit, {524287, -524288}),
            (std::vector<uint8_t>{0xf0, 0xff, 0x7f, 0x00, 0x00, 0x80}));
  // 32-bit: (sample + 2048) >> 12 without overflow at the largest sample.
  EXPECT_EQ(Decode(LSampleWidth::k32Bit, {0xff, 0xff, 0xff, 0x7f, 0x00, 0x00, 0x00, 0x80}),
            (std::vector<int32_t>{524288, -524288}));
  EXPECT_EQ(Encode(LSampleWidth::k32Bit, {524287, -524288}),
            (std::vector<uint8_t>{0x00, 0xf0, 0xff, 0x7f, 0x00, 0x00, 0x00, 0x80}));
  // Writing keeps the low bits: one step beyond 16-bit full scale wraps.
  EXPECT_EQ(Encode(LSampleWidth::k16Bit, {524272, 524288, std::numeric_limits<int32_t>::max()}),
            (std::vector<uint8_t>{0xff, 0x7f, 0x00, 0x80, 0x00, 0x00}));
}

TEST(TimeUnitsTest, MillisecondsAndFramesUseIntegerRules) {
  EXPECT_EQ(FramesToMs(44100, 44100), 1000);
  EXPECT_EQ(FramesToMs(66150, 44100), 1500);
  EXPECT_EQ(FramesToMs(1, 44100), 0);
  EXPECT_EQ(MsToFrames(1500, 44100), 66150);
  EXPECT_EQ(MsToFrames(1, 44100), 44);
  EXPECT_EQ(MsToFrames(999, 8000), 7992);
  // Large positions do not overflow.
  EXPECT_EQ(FramesToMs(std::numeric_limits<int32_t>::max(), 1), 2147483647000LL);
  EXPECT_EQ(MsToFrames(1000, 0), 0);
  EXPECT_EQ(FramesToMs(-44100, 44100), -1000);
}

LRef<LFunctionStream> Ramp(int32_t length, int channels = 2, int32_t fullScale = 524272) {
  return MakeRef<LFunctionStream>(44100, channels, length,
                                  [](int64_t f, int c) { return static_cast<int32_t>(f * 4 + c); },
                                  fullScale);
}

TEST(PumpTest, RangeCopiesExactlyItsFramesInPieces) {
  auto source = Ramp(30000);
  auto sink = MakeRef<LMemorySink>(44100, 2);
  LSilentProgress progress;
  EXPECT_EQ(PumpRange(*source, *sink, 100, 20100, progress), LResult::kDone);
  ASSERT_EQ(sink->FramesWritten(), 20000);
  EXPECT_EQ(sink->samples[0], 400);
  EXPECT_EQ(sink->samples[2 * 19999 + 1], (20099 * 4) + 1);
  // An end below the start is done at once, and an empty range writes nothing.
  EXPECT_EQ(PumpRange(*source, *sink, 50, 40, progress), LResult::kDone);
  EXPECT_EQ(PumpRange(*source, *sink, 50, 50, progress), LResult::kDone);
  EXPECT_EQ(sink->FramesWritten(), 20000);
}

TEST(PumpTest, CancelAndSinkFailureStopTheRun) {
  auto source = Ramp(100000);
  auto sink = MakeRef<LMemorySink>(44100, 2);
  LCancelAfter cancelThird(2);
  EXPECT_EQ(PumpRange(*source, *sink, 0, 100000, cancelThird), LResult::kCancelled);
  EXPECT_EQ(sink->FramesWritten(), 2 * kPumpFrames);

  auto failing = MakeRef<LMemorySink>(44100, 2);
  failing->failAfterFrames = 10000;
  LSilentProgress progress;
  source->Seek(0);
  EXPECT_EQ(PumpRange(*source, *failing, 0, 100000, progress), LResult::kFailed);
}

}  // namespace
}  // namespace klangor
