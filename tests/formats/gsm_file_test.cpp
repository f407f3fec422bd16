// The file rules of GSM streams and sinks: length, silence around the file, slicing, seeking,
// padding, and formats the sink cannot write.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "formats/gsm_file.h"
#include "native_test_files.h"

namespace klangor {
namespace {

using namespace nativetest;  // NOLINT: test helpers

// A file of `frames` frames coded from a tone.
std::string CodedTone(const std::string& name, int frames) {
  const std::string path = TestPath(name);
  std::vector<int32_t> tone(static_cast<size_t>(frames) * kGsmFrameSamples);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int32_t>(200000 * std::sin(0.07 * i) + 90000 * std::sin(0.31 * i));
  LRef<LSoundSink> sink = CreateGsmFile(path, 8000, 1);
  sink->Write(tone.data(), static_cast<int32_t>(tone.size()));
  sink->Finish();
  EXPECT_FALSE(sink->Failed());
  return path;
}

TEST(GsmFileTest, LengthCountsWholeFramesAndTheRestIsSilence) {
  const std::string full = test::ReadBytes(CodedTone("g3.gsm", 4));
  ASSERT_EQ(full.size(), 4u * 33);
  const std::string hundred = TestPath("g100.gsm");
  test::WriteBytes(hundred, full.substr(0, 100));
  LRef<LSoundStream> stream = OpenGsmFile(hundred);
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 480);
  std::vector<int32_t> samples = ReadFrames(*stream, 700);
  EXPECT_TRUE(std::any_of(samples.begin() + 400, samples.begin() + 480, [](int32_t s) { return s != 0; }));
  EXPECT_TRUE(std::all_of(samples.begin() + 480, samples.end(), [](int32_t s) { return s == 0; }));
  EXPECT_EQ(stream->Position(), 700);

  const std::string short32 = TestPath("g32.gsm");
  test::WriteBytes(short32, full.substr(0, 32));
  stream = OpenGsmFile(short32);
  EXPECT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 0);
  samples = ReadFrames(*stream, 200);
  EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](int32_t s) { return s == 0; }));

  stream = OpenGsmFile(TestPath("missing.gsm"));
  EXPECT_EQ(stream->State(), LStreamState::kCannotOpen);
  EXPECT_EQ(stream->SampleRate(), 8000);
}

TEST(GsmFileTest, ReadsDoNotDependOnSlicingAndSeeksRestartAtTheFrame) {
  const std::string path = CodedTone("gslice.gsm", 12);
  LRef<LSoundStream> stream = OpenGsmFile(path);
  const int32_t length = stream->Length();
  ASSERT_EQ(length, 12 * 160);
  stream->Seek(-75);
  const std::vector<int32_t> whole = ReadFrames(*stream, length + 150);
  EXPECT_TRUE(std::all_of(whole.begin(), whole.begin() + 75, [](int32_t s) { return s == 0; }));

  std::mt19937 random(7);
  for (int round = 0; round < 5; ++round) {
    stream->Seek(-75);
    std::vector<int32_t> sliced;
    while (sliced.size() < whole.size()) {
      const auto n = std::min<int32_t>(std::uniform_int_distribution<int32_t>(0, 400)(random),
                                       static_cast<int32_t>(whole.size() - sliced.size()));
      std::vector<int32_t> piece = ReadFrames(*stream, n);
      sliced.insert(sliced.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(sliced, whole);
  }

  // A seek into frame 5 decodes as a fresh decoder would from frame 5 on.
  const std::string bytes = test::ReadBytes(path);
  const std::string tail = TestPath("gtail.gsm");
  test::WriteBytes(tail, bytes.substr(5 * 33));
  LRef<LSoundStream> fresh = OpenGsmFile(tail);
  const std::vector<int32_t> expected = ReadFrames(*fresh, 7 * 160);
  for (int32_t at : {5 * 160, 5 * 160 + 77}) {
    stream->Seek(at);
    EXPECT_EQ(stream->Position(), at);
    const std::vector<int32_t> got = ReadFrames(*stream, 12 * 160 - at);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + (at - 5 * 160))) << at;
  }
  stream->Seek(length + 1000);
  std::vector<int32_t> after = ReadFrames(*stream, 10);
  EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](int32_t s) { return s == 0; }));
}

TEST(GsmFileTest, SinkPadsTheLastFrameAndIsAlwaysEightKilohertzMono) {
  const std::string path = TestPath("gpad.gsm");
  {
    LRef<LSoundSink> sink = CreateGsmFile(path, 8000, 1);
    std::vector<int32_t> samples(161, 1000);
    sink->Write(samples.data(), 161);
    EXPECT_EQ(sink->FramesWritten(), 161);
    EXPECT_EQ(sink->SampleRate(), 8000);
    EXPECT_EQ(sink->Channels(), 1);
  }  // the last reference finishes the file
  const std::string bytes = test::ReadBytes(path);
  ASSERT_EQ(bytes.size(), 66u);
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]) >> 4, 0xD);
  EXPECT_EQ(static_cast<uint8_t>(bytes[33]) >> 4, 0xD);

  // Sounds of other formats are converted by the save path: the sink stays 8000 Hz mono.
  for (auto [rate, channels] : {std::pair{44100, 1}, std::pair{8000, 2}}) {
    const std::string other = TestPath("gother.gsm");
    LRef<LSoundSink> sink = CreateGsmFile(other, rate, channels);
    EXPECT_FALSE(sink->Failed());
    EXPECT_EQ(sink->SampleRate(), 8000);
    EXPECT_EQ(sink->Channels(), 1);
  }
  LRef<LSoundSink> unwritable = CreateGsmFile(TestPath("no/such/folder.gsm"), 8000, 1);
  EXPECT_TRUE(unwritable->Failed());
}

}  // namespace
}  // namespace klangor
