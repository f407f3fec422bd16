// Headerless files: the raw format records in the settings, the openers over them and the raw
// format dialog; PCM and G.711 files (whole frames only, exchanged with sox in every codec, the
// G.711 encoder); Dialogic ADPCM (the nibble carry-over between reads and writes, seeking, and
// files exchanged with sox, whose decoder gives twice Klangor's level and has no predictor
// leak, so that comparison is by signal-to-noise ratio).

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "docio/raw_settings.h"
#include "formats/g711.h"
#include "formats/pcm_file.h"
#include "formats/raw_format.h"
#include "formats/vox.h"
#include "settings/settings_keys.h"
#include "native_test_files.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using namespace nativetest;  // NOLINT: test helpers

class RawFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempPath("-raw");
    store_ = std::make_unique<LSettingsStore>(folder_ + "/user.ini", folder_ + "/machine.ini");
  }
  std::string folder_;
  std::unique_ptr<LSettingsStore> store_;
};

// A record's fields, to compare records whole.
std::tuple<uint32_t, int, uint32_t> Fields(const LRawFormat& f) { return {f.sampleRate, f.channels, f.codec}; }

TEST_F(RawFormatTest, RecordsHaveTheirDefaultsAndLiveMachineWide) {
  EXPECT_EQ(Fields(LoadRawFormat(*store_, LRawRecord::kVoxAudio)), Fields({8000, 1, 0}));
  EXPECT_EQ(Fields(LoadRawFormat(*store_, LRawRecord::kRawAudio)), Fields({44100, 1, 3}));
  ASSERT_TRUE(SaveRawFormat(*store_, LRawRecord::kRawAudio, {22050, 2, 6}));
  EXPECT_EQ(Fields(LoadRawFormat(*store_, LRawRecord::kRawAudio)), Fields({22050, 2, 6}));
  EXPECT_EQ(LoadRawFormat(*store_, LRawRecord::kVoxAudio).sampleRate, 8000u);  // the other record
  // Written to the machine file as well: another user's store falls back to it.
  LSettingsStore otherUser(folder_ + "/other.ini", folder_ + "/machine.ini");
  EXPECT_EQ(LoadRawFormat(otherUser, LRawRecord::kRawAudio).sampleRate, 22050u);
  EXPECT_EQ(test::ReadBytes(folder_ + "/machine.ini").find("[RawAudio]") != std::string::npos, true);

  // A stored channel count of 0 reads as 1 and is written back as 1.
  ASSERT_TRUE(store_->Write(kVoxAudioChannels, 0));
  const LRawFormat vox = LoadRawFormat(*store_, LRawRecord::kVoxAudio);
  EXPECT_EQ(vox.channels, 1);
  ASSERT_TRUE(SaveRawFormat(*store_, LRawRecord::kVoxAudio, vox));
  EXPECT_EQ(store_->Read(kVoxAudioChannels), 1);
}

TEST_F(RawFormatTest, OpenersFollowTheRecord) {
  const std::string path = TestPath("rec.raw");
  test::WriteBytes(path, std::string(40, '\x22'));
  // Dialogic ADPCM is always mono at the record's rate.
  LRef<LSoundStream> stream = OpenRawFile({11025, 2, 0}, path);
  EXPECT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Channels(), 1);
  EXPECT_EQ(stream->SampleRate(), 11025);
  EXPECT_EQ(stream->Length(), 80);
  stream = OpenRawFile({11025, 2, 4}, path);
  EXPECT_EQ(stream->Channels(), 2);
  EXPECT_EQ(stream->Length(), 20);
  EXPECT_EQ(ReadFrames(*stream, 1), (std::vector<int32_t>{(0x22 - 128) * 4096, (0x22 - 128) * 4096}));
  EXPECT_EQ(OpenRawFile({11025, 1, 7}, path)->State(), LStreamState::kCorrupt);
  EXPECT_EQ(OpenRawFile({11025, 1, 3}, TestPath("missing.raw"))->State(), LStreamState::kCannotOpen);
  EXPECT_EQ(OpenRawFile({11025, 1, 0}, TestPath("missing.vox"))->State(), LStreamState::kCannotOpen);
  EXPECT_EQ(OpenRawFile({0, 1, 3}, path)->State(), LStreamState::kCorrupt);

  LRef<LSoundSink> sink = CreateRawFile({16000, 2, 0}, TestPath("out.vox"));
  EXPECT_FALSE(sink->Failed());
  EXPECT_EQ(sink->Channels(), 1);
  EXPECT_EQ(sink->SampleRate(), 16000);
  EXPECT_TRUE(CreateRawFile({16000, 1, 99}, TestPath("out.raw"))->Failed());
  EXPECT_TRUE(CreateRawFile({16000, 1, 3}, TestPath("no/folder/out.raw"))->Failed());
  EXPECT_TRUE(CreateRawFile({0xFFFFFFFF, 1, 3}, TestPath("out2.raw"))->Failed());
}

TEST_F(RawFormatTest, DialogChecksTheRateAndSavesTheRecord) {
  LRawDlg dialog(LRawRecord::kRawAudio, LoadRawFormat(*store_, LRawRecord::kRawAudio));
  EXPECT_EQ(dialog.encodingIndex, 3);
  EXPECT_EQ(dialog.channelsIndex, 0);
  EXPECT_EQ(dialog.sampleRateText, "44100");
  dialog.encodingIndex = 2;
  dialog.channelsIndex = 1;
  for (const std::string bad : {"5999", "196001", "-8000", "", "8000x", "99999999999"}) {
    dialog.sampleRateText = bad;
    EXPECT_EQ(dialog.Ok(*store_), "Please select a sample rate between 6000 and 196000.") << bad;
    EXPECT_EQ(LoadRawFormat(*store_, LRawRecord::kRawAudio).codec, 3u) << "nothing saved yet";
  }
  for (const std::string good : {"6000", "196000", " 8000 "}) {
    dialog.sampleRateText = good;
    EXPECT_EQ(dialog.Ok(*store_), "") << good;
  }
  EXPECT_EQ(Fields(LoadRawFormat(*store_, LRawRecord::kRawAudio)), Fields({8000, 2, 2}));
  EXPECT_EQ(LoadRawFormat(*store_, LRawRecord::kVoxAudio).codec, 0u);

  // A stored codec or channel count the lists do not show selects nothing and stays.
  LRawDlg odd(LRawRecord::kVoxAudio, {8000, 5, 42});
  EXPECT_EQ(odd.encodingIndex, -1);
  EXPECT_EQ(odd.channelsIndex, -1);
  EXPECT_EQ(odd.Ok(*store_), "");
  EXPECT_EQ(odd.Format().codec, 42u);
  EXPECT_EQ(odd.Format().channels, 5);
}

struct LCodecCase {
  LRawCodec codec;
  std::vector<std::string> soxType;  // how sox names the headerless type
};

const std::vector<LCodecCase>& PcmCodecs() {
  static const std::vector<LCodecCase> cases = {
      {LRawCodec::kMuLaw, {"-t", "ul"}},
      {LRawCodec::kALaw, {"-t", "al"}},
      {LRawCodec::kPcm16LittleEndian, {"-t", "s16", "-L"}},
      {LRawCodec::kPcm8Unsigned, {"-t", "u8"}},
      {LRawCodec::kPcm8Signed, {"-t", "s8"}},
      {LRawCodec::kPcm16BigEndian, {"-t", "s16", "-B"}},
  };
  return cases;
}

LRawFormat Format(LRawCodec codec, uint32_t rate, uint8_t channels) {
  return {rate, channels, static_cast<uint32_t>(codec)};
}

std::vector<std::string> SoxInput(const LCodecCase& c, int rate, int channels) {
  std::vector<std::string> args = c.soxType;
  args.insert(args.end(), {"-r", std::to_string(rate), "-c", std::to_string(channels)});
  return args;
}

// The read rule of the PCM file stream (zeros outside the file, lengths from a header that
// lies) is tested through the WAV files that share it; a headerless file counts whole frames.
TEST(PcmFileTest, HeaderlessFilesCountWholeFramesOnly) {
  const std::string three = TestPath("three.raw");
  test::WriteBytes(three, test::Le16(1000) + "\x05");
  LRef<LSoundStream> stream = OpenRawFile(Format(LRawCodec::kPcm16LittleEndian, 8000, 1), three);
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 1);
  EXPECT_EQ(ReadFrames(*stream, 4), (std::vector<int32_t>{16000, 0, 0, 0}));
  EXPECT_EQ(OpenRawFile(Format(LRawCodec::kPcm8Signed, 8000, 2), three)->Length(), 1);
  EXPECT_EQ(OpenRawFile(Format(LRawCodec::kPcm16BigEndian, 8000, 2), three)->Length(), 0);
}

TEST(PcmFileTest, ReadsWhatSoxWritesInEveryCodec) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  for (const LCodecCase& c : PcmCodecs()) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE("codec " + std::to_string(static_cast<int>(c.codec)) + ", channels " + std::to_string(channels));
      const std::string path = TestPath("sox.raw");
      std::vector<std::string> argv = {"sox", "-V1", "-D", "-n"};
      std::vector<std::string> output = SoxInput(c, 22051, channels);
      argv.insert(argv.end(), output.begin(), output.end());
      argv.insert(argv.end(), {path, "synth", "0.61", "whitenoise", "vol", "0.95"});
      RunTool(argv);
      std::string everyByte;  // noise alone may miss some of the 8-bit codes
      for (int i = 0; i < 256; ++i) everyByte += static_cast<char>(i);
      test::WriteBytes(path, test::ReadBytes(path) + everyByte);
      std::vector<int32_t> expected;
      for (int16_t s : SoxSamples16(path, SoxInput(c, 22051, channels))) expected.push_back(s * 16);
      LRef<LSoundStream> stream = OpenRawFile(Format(c.codec, 22051, static_cast<uint8_t>(channels)), path);
      ASSERT_TRUE(stream->Usable());
      EXPECT_EQ(stream->SampleRate(), 22051);
      EXPECT_EQ(stream->Channels(), channels);
      ASSERT_EQ(static_cast<size_t>(stream->Length()) * channels, expected.size());
      // In uneven pieces: the result must not depend on the slicing.
      const std::vector<int32_t> got = test::ReadInRandomPieces(*stream, stream->Length(), 9000, 5);
      EXPECT_EQ(got, expected);
    }
  }
}

// What the file holds after writing v, as sox gives it in 16 bits.
int16_t WrittenAs16(LRawCodec codec, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  switch (codec) {
    case LRawCodec::kMuLaw: return static_cast<int16_t>(MuLawToSample(SampleToMuLaw(v)) / 16);
    case LRawCodec::kALaw: return static_cast<int16_t>(ALawToSample(SampleToALaw(v)) / 16);
    case LRawCodec::kPcm8Unsigned:
    case LRawCodec::kPcm8Signed: {
      const uint32_t top = v >= 522240 && v < 524288 ? 522239u : u;  // no wrap at the top
      return static_cast<int16_t>(static_cast<int8_t>((top + 2048) >> 12) * 256);
    }
    default: return static_cast<int16_t>((u + 8) >> 4);
  }
}

TEST(PcmFileTest, SoxReadsWhatTheSinksWrite) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  std::mt19937 random(99);
  for (const LCodecCase& c : PcmCodecs()) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE("codec " + std::to_string(static_cast<int>(c.codec)) + ", channels " + std::to_string(channels));
      const int frames = 20011;
      std::vector<int32_t> samples;
      for (int i = 0; i < frames * channels; ++i) {
        samples.push_back(std::uniform_int_distribution<int32_t>(-524272, 524272)(random));
      }
      samples[0] = 524272;  // full scale both ways
      samples[1] = -524272;
      const std::string path = TestPath("ours.raw");
      {
        LRef<LSoundSink> sink = CreateRawFile(Format(c.codec, 16000, static_cast<uint8_t>(channels)), path);
        ASSERT_FALSE(sink->Failed());
        EXPECT_EQ(sink->SampleRate(), 16000);
        EXPECT_EQ(sink->Channels(), channels);
        sink->Write(samples.data(), 5000);
        sink->Write(samples.data() + 5000 * channels, frames - 5000);
        sink->Finish();
        ASSERT_FALSE(sink->Failed());
      }
      std::vector<int16_t> expected;
      for (int32_t v : samples) expected.push_back(WrittenAs16(c.codec, v));
      EXPECT_EQ(SoxSamples16(path, SoxInput(c, 16000, channels)), expected);
      EXPECT_EQ(expected[0] > 0, true) << "full scale must not wrap";
    }
  }
}

// The decoding of every code is checked against sox above; the encoder picks a code within
// one step of the value, gives every code back, and does not overflow at the extremes.
TEST(PcmFileTest, G711EncodingIsTheInverseOfTheDecoding) {
  for (int code = 0; code < 256; ++code) {
    const auto c = static_cast<uint8_t>(code);
    if (MuLawToSample(c) != 0) {  // mu-law has two zeros
      EXPECT_EQ(SampleToMuLaw(MuLawToSample(c)), c) << code;
    }
    EXPECT_EQ(SampleToALaw(ALawToSample(c)), c) << code;
  }
  EXPECT_EQ(SampleToMuLaw(0), 0xFF);
  EXPECT_EQ(SampleToMuLaw(INT32_MIN), 0x00);
  EXPECT_EQ(SampleToALaw(INT32_MAX), 0xAA);
  for (int32_t v = -530000; v <= 530000; v += 37) {
    const int32_t clamped = std::clamp(v, -kG711FullScale, kG711FullScale);
    const uint8_t mu = SampleToMuLaw(v);
    const int32_t muStep = 128 << ((~mu >> 4) & 7);
    ASSERT_LE(std::abs(MuLawToSample(mu) - clamped), muStep) << v;
    const uint8_t a = SampleToALaw(v);
    const int segment = ((a ^ 0x55) >> 4) & 7;
    const int32_t aStep = segment == 0 ? 256 : 256 << (segment - 1);
    ASSERT_LE(std::abs(ALawToSample(a) - clamped), aStep) << v;
  }
}

std::vector<int32_t> Tone(int samples) {
  std::vector<int32_t> tone(static_cast<size_t>(samples));
  for (size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<int32_t>(250000 * std::sin(2 * M_PI * 440 * i / 8000.0) + 120000 * std::sin(2 * M_PI * 1230 * i / 8000.0));
  }
  return tone;
}

std::string WriteVox(const std::string& name, const std::vector<int32_t>& samples) {
  const std::string path = TestPath(name);
  LRef<LSoundSink> sink = MakeRef<LVoxSink>(path, 8000);
  sink->Write(samples.data(), static_cast<int32_t>(samples.size()));
  sink->Finish();
  EXPECT_FALSE(sink->Failed());
  return path;
}

TEST(VoxTest, NibblesCarryOverBetweenWrites) {
  const std::string path = TestPath("three.vox");
  const std::vector<int32_t> tone = Tone(4);
  {
    LRef<LSoundSink> sink = MakeRef<LVoxSink>(path, 8000);
    sink->Write(tone.data(), 3);
    EXPECT_EQ(sink->FramesWritten(), 3);
    sink->Finish();
  }
  EXPECT_EQ(test::ReadBytes(path).size(), 1u);  // the third code was still waiting
  // Pieces of 3 and 1 give the same bytes as one write of 4.
  const std::string pieces = TestPath("pieces.vox");
  {
    LRef<LSoundSink> sink = MakeRef<LVoxSink>(pieces, 8000);
    sink->Write(tone.data(), 3);
    sink->Write(tone.data() + 3, 1);
  }
  EXPECT_EQ(test::ReadBytes(pieces), test::ReadBytes(WriteVox("whole.vox", tone)));
  EXPECT_EQ(test::ReadBytes(pieces).size(), 2u);

  const std::string one = TestPath("one.vox");
  test::WriteBytes(one, "\x17");
  LRef<LSoundStream> stream = MakeRef<LVoxStream>(one, 8000);
  EXPECT_EQ(stream->Length(), 2);
  EXPECT_EQ(stream->FullScale(), 2097152);
  LAdpcmState state;
  const int32_t first = DecodeVoxCode(state, 1);
  const int32_t second = DecodeVoxCode(state, 7);
  EXPECT_EQ(ReadFrames(*stream, 3), (std::vector<int32_t>{first, second, 0}));
  EXPECT_EQ(first, 16 * 48);
  EXPECT_EQ(second, first - (first >> 6) + 16 * 240);  // index 0 - 1 is clamped to 0

  const std::string empty = TestPath("empty.vox");
  test::WriteBytes(empty, "");
  stream = MakeRef<LVoxStream>(empty, 8000);
  EXPECT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Length(), 0);
  EXPECT_EQ(ReadFrames(*stream, 2), (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(MakeRef<LVoxStream>(TestPath("missing.vox"), 8000)->State(), LStreamState::kCannotOpen);
}

TEST(VoxTest, SeeksLandOnTheSampleAndKeepTheDecoderState) {
  const std::vector<int32_t> tone = Tone(8001);
  const std::string path = WriteVox("slices.vox", tone);
  LRef<LSoundStream> stream = MakeRef<LVoxStream>(path, 8000);
  ASSERT_EQ(stream->Length(), 8000);
  const std::vector<int32_t> whole = ReadFrames(*stream, 8000);
  // The encoder tracks the input closely.
  EXPECT_GT(SnrDb(std::vector<int32_t>(tone.begin(), tone.end() - 1), whole), 20.0);
  // Seeking to where the decoder is changes nothing.
  stream->Seek(0);
  ReadFrames(*stream, 1001);
  stream->Seek(1001);
  EXPECT_TRUE(std::equal(whole.begin() + 1001, whole.begin() + 1401, ReadFrames(*stream, 400).begin()));

  // A seek elsewhere keeps the decoder's state and lands on the sample, odd ones too: once a
  // pause has brought the step down to where a continuous decoding has it, the samples are
  // those of the continuous decoding, not shifted by one.
  std::vector<int32_t> paused = Tone(9000);
  for (size_t i = 0; i < paused.size(); ++i) {
    if (i % 3000 >= 2000) paused[i] = 0;
  }
  LRef<LSoundStream> pausedStream = MakeRef<LVoxStream>(WriteVox("paused.vox", paused), 8000);
  const std::vector<int32_t> continuous = ReadFrames(*pausedStream, 9000);
  for (int32_t at : {1001, 1000, 777}) {
    pausedStream->Seek(8000);
    ReadFrames(*pausedStream, 300);
    pausedStream->Seek(at);
    const std::vector<int32_t> got = ReadFrames(*pausedStream, 4000 - at);
    const std::vector<int32_t> settled(got.begin() + (3200 - at), got.end());
    EXPECT_GT(SnrDb(std::vector<int32_t>(continuous.begin() + 3200, continuous.begin() + 4000), settled), 30.0) << at;
  }
  stream->Seek(-20);
  std::vector<int32_t> start = ReadFrames(*stream, 60);
  EXPECT_TRUE(std::all_of(start.begin(), start.begin() + 20, [](int32_t s) { return s == 0; }));
  EXPECT_TRUE(std::equal(start.begin() + 20, start.end(), whole.begin()));
}

TEST(VoxTest, ExchangesFilesWithSox) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  const std::string wav = MakeSoxSignal("vox_in.wav", 8000, 1, 2.0);
  const std::vector<int16_t> input = SoxSamples16(wav);
  const std::vector<std::string> voxType = {"-t", "vox", "-r", "8000", "-c", "1"};

  // sox's file read by Klangor: 8 x sox's 16-bit decoding (half sox's level), up to the leak.
  const std::string theirs = TestPath("sox.vox");
  RunTool({"sox", "-V1", "-D", wav, "-t", "vox", theirs});
  const std::vector<int16_t> soxDecoded = SoxSamples16(theirs, voxType);
  LRef<LSoundStream> stream = OpenRawFile({8000, 1, 0}, theirs);
  ASSERT_TRUE(stream->Usable());
  ASSERT_EQ(static_cast<size_t>(stream->Length()), soxDecoded.size());
  const double snrRead = SnrDb(soxDecoded, ReadFrames(*stream, stream->Length()), 8.0);
  // Klangor's file read by sox: twice the input, up to the leak.
  std::vector<int32_t> internal;
  for (int16_t s : input) internal.push_back(s * 16);
  const std::string ours = WriteVox("ours.vox", internal);
  EXPECT_EQ(test::ReadBytes(ours).size(), input.size() / 2);
  const double snrWritten = SnrDb(input, SoxSamples16(ours, voxType), 2.0);
  std::cout << "[ VOX      ] Klangor reading sox's file against sox's decoding: " << snrRead
            << " dB; sox reading Klangor's file against the input: " << snrWritten << " dB\n";
  EXPECT_GT(snrRead, 10.0);
  EXPECT_GT(snrWritten, 8.0);
}

}  // namespace
}  // namespace klangor
