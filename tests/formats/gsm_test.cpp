// GSM full-rate speech: the codec core against the reference coder of sox (libgsm) bit for
// bit, the whole path of stream and sink against sox within a small error, and the file rules
// of stream and sink (length, silence around the file, slicing, seeking, padding, the formats
// the sink cannot write).

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "formats/gsm_codec.h"
#include "formats/gsm_file.h"
#include "formats/gsm_fixed_point.h"
#include "native_test_files.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using namespace nativetest;  // NOLINT: test helpers

// The standard's own pre-processing of 16-bit input (down-scaling, offset compensation,
// pre-emphasis), which the reference encoder applies in front of the analysis.
class LReferencePreprocessing {
 public:
  void Run(const int16_t* in, int16_t (&out)[kGsmFrameSamples]) {
    for (int k = 0; k < kGsmFrameSamples; ++k) {
      const auto so = static_cast<int16_t>((in[k] >> 3) << 2);
      const auto s1 = static_cast<int16_t>(so - z1_);
      z1_ = so;
      int32_t ls2 = int32_t{s1} << 15;
      const int32_t msp = lz2_ >> 15;
      const auto lsp = static_cast<int16_t>(lz2_ - (msp << 15));
      ls2 += gsm::MultR(lsp, 32735);
      lz2_ = gsm::LAdd(msp * 32735, ls2);
      const int32_t rounded = gsm::LAdd(lz2_, 16384);
      const int16_t emphasis = gsm::MultR(mp_, -28180);
      mp_ = static_cast<int16_t>(rounded >> 15);
      out[k] = gsm::Add(mp_, emphasis);
    }
  }

 private:
  int16_t z1_ = 0;
  int32_t lz2_ = 0;
  int16_t mp_ = 0;
};

// The standard's post-processing of the synthesis output to 16 bits.
class LReferencePostprocessing {
 public:
  int16_t Run(int16_t sr) {
    msr_ = gsm::Add(sr, gsm::MultR(msr_, 28180));
    return static_cast<int16_t>(gsm::Add(msr_, msr_) & 0xFFF8);
  }

 private:
  int16_t msr_ = 0;
};

class GsmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
  }
};

TEST_F(GsmTest, AnalysisAndSynthesisMatchTheReferenceCoderBitForBit) {
  // Speech-like sound, then loud square waves and full-scale noise that drive the arithmetic
  // into saturation, then silence.
  const std::string speech = MakeSoxSignal("gsm_speech.wav", 8000, 1, 3.0);
  const std::string loud = TestPath("gsm_loud.wav");
  RunTool({"sox", "-V1", "-D", "-n", "-b", "16", "-r", "8000", "-c", "1", loud, "synth", "1.5", "square", "97",
           "square", "1333", "vol", "1.5"});
  const std::string noise = TestPath("gsm_noise.wav");
  RunTool({"sox", "-V1", "-D", "-n", "-b", "16", "-r", "8000", "-c", "1", noise, "synth", "1", "whitenoise",
           "vol", "2", "pad", "0", "0.5"});
  const std::string wav = TestPath("gsm_ref.wav");
  RunTool({"sox", "-V1", "-D", speech, loud, noise, wav});
  const std::string gsmFile = TestPath("gsm_ref.gsm");
  RunTool({"sox", "-V1", wav, "-t", "gsm", gsmFile});
  const std::vector<int16_t> input = SoxSamples16(wav);
  const std::string reference = test::ReadBytes(gsmFile);
  const size_t frames = input.size() / kGsmFrameSamples;
  ASSERT_GE(reference.size(), frames * kGsmFrameBytes);

  LReferencePreprocessing pre;
  LGsmEncoder encoder;
  size_t differentFrames = 0;
  for (size_t f = 0; f < frames; ++f) {
    int16_t s[kGsmFrameSamples];
    pre.Run(&input[f * kGsmFrameSamples], s);
    LGsmParameters parameters;
    encoder.Analyse(s, &parameters);
    uint8_t bytes[kGsmFrameBytes];
    PackGsmFrame(parameters, bytes);
    if (reference.compare(f * kGsmFrameBytes, kGsmFrameBytes, reinterpret_cast<const char*>(bytes),
                          kGsmFrameBytes) != 0 && ++differentFrames < 3) {
      ADD_FAILURE() << "frame " << f << " differs";
    }
  }
  EXPECT_EQ(differentFrames, 0u);

  // The reference decoder's output is the synthesis plus the standard's post-processing.
  const std::vector<int16_t> decoded = SoxSamples16(gsmFile);
  LGsmDecoder decoder;
  LReferencePostprocessing post;
  size_t differentSamples = 0;
  for (size_t f = 0; f < reference.size() / kGsmFrameBytes; ++f) {
    LGsmParameters parameters;
    UnpackGsmFrame(reinterpret_cast<const uint8_t*>(reference.data()) + f * kGsmFrameBytes, &parameters);
    int16_t sr[kGsmFrameSamples];
    decoder.Synthesise(parameters, sr);
    for (int k = 0; k < kGsmFrameSamples; ++k) {
      if (post.Run(sr[k]) != decoded.at(f * kGsmFrameSamples + k)) ++differentSamples;
    }
  }
  EXPECT_EQ(differentSamples, 0u);
}

// sox's decoding as internal samples.
std::vector<int32_t> SoxInternal(const std::string& path) {
  std::vector<int32_t> samples;
  for (int16_t s : SoxSamples16(path)) samples.push_back(s * 16);
  return samples;
}

TEST_F(GsmTest, DecodesWhatSoxEncodesCloseToSoxsOwnDecoding) {
  const std::string wav = MakeSoxSignal("gsm_dec.wav", 8000, 1, 3.0);
  const std::string gsmFile = TestPath("gsm_dec.gsm");
  RunTool({"sox", "-V1", wav, "-t", "gsm", gsmFile});
  const std::vector<int32_t> reference = SoxInternal(gsmFile);
  LRef<LSoundStream> stream = OpenGsmFile(gsmFile);
  ASSERT_TRUE(stream->Usable());
  EXPECT_EQ(stream->SampleRate(), 8000);
  EXPECT_EQ(stream->Channels(), 1);
  EXPECT_EQ(stream->FullScale(), 1048544);
  ASSERT_EQ(static_cast<size_t>(stream->Length()), reference.size());
  const std::vector<int32_t> got = ReadFrames(*stream, stream->Length());
  const double snr = SnrDb(reference, got);
  std::cout << "[ GSM      ] Klangor decoding of sox's file against sox's decoding: " << snr << " dB\n";
  EXPECT_GT(snr, 40.0);
}

TEST_F(GsmTest, SoxDecodesWhatTheSinkEncodesAsWellAsItsOwnEncoding) {
  const std::string wav = MakeSoxSignal("gsm_enc.wav", 8000, 1, 3.0);
  const std::vector<int16_t> input = SoxSamples16(wav);
  std::vector<int32_t> internal;
  for (int16_t s : input) internal.push_back(s * 16);
  const std::string ours = TestPath("gsm_enc_ours.gsm");
  {
    LRef<LSoundSink> sink = CreateGsmFile(ours, 8000, 1);
    ASSERT_FALSE(sink->Failed());
    // Uneven pieces: partial frames are carried over between writes.
    for (size_t done = 0; done < internal.size();) {
      const size_t piece = std::min<size_t>(internal.size() - done, 1 + done % 517);
      sink->Write(internal.data() + done, static_cast<int32_t>(piece));
      done += piece;
    }
    sink->Finish();
    ASSERT_FALSE(sink->Failed());
  }
  EXPECT_EQ(test::ReadBytes(ours).size(), (input.size() + 159) / 160 * 33);
  const std::string theirs = TestPath("gsm_enc_sox.gsm");
  RunTool({"sox", "-V1", wav, "-t", "gsm", theirs});
  const double snrOurs = SnrDb(input, SoxSamples16(ours));
  const double snrTheirs = SnrDb(input, SoxSamples16(theirs));
  std::cout << "[ GSM      ] sox decoding of Klangor's file against the input: " << snrOurs
            << " dB (sox's own encoding: " << snrTheirs << " dB)\n";
  EXPECT_GT(snrOurs, 8.0);
  EXPECT_GT(snrOurs, snrTheirs - 1.0);
}

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

TEST(GsmFileTest, ReadsPastBothEndsAreSilenceAndSeeksRestartAtTheFrame) {
  const std::string path = CodedTone("gslice.gsm", 12);
  LRef<LSoundStream> stream = OpenGsmFile(path);
  const int32_t length = stream->Length();
  ASSERT_EQ(length, 12 * 160);
  stream->Seek(-75);
  const std::vector<int32_t> whole = ReadFrames(*stream, length + 150);
  EXPECT_TRUE(std::all_of(whole.begin(), whole.begin() + 75, [](int32_t s) { return s == 0; }));

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
