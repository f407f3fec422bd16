// GSM 06.10: the codec core against the reference coder of sox (libgsm) bit for bit, the
// whole path against sox within a small error, and the file rules of stream and sink.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/gsm_codec.h"
#include "formats/gsm_file.h"
#include "formats/gsm_fixed_point.h"
#include "native_test_files.h"

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

}  // namespace
}  // namespace klangor
