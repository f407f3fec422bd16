// The noise removers against sox's noisered on speech (espeak-ng) mixed with pink noise at
// 10 dB SNR: the SNR against the clean speech, before and after.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "effects/noise_gate.h"
#include "effects/spectral_subtraction.h"
#include "effects/stream_effect.h"
#include "platform/paths.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

constexpr int32_t kRate = 22050;
constexpr int32_t kLeadIn = 2 * kRate;  // noise alone before the speech (the noise sample)

double SnrOf(const std::vector<double>& clean, const std::vector<double>& got) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < clean.size(); ++i) {
    signal += clean[i] * clean[i];
    noise += (got[i] - clean[i]) * (got[i] - clean[i]);
  }
  return 10 * std::log10(signal / noise);
}

std::string WavOf(const std::vector<double>& samples, const std::string& path) {
  std::string raw;
  for (double s : samples) {
    const auto v = static_cast<int16_t>(std::lround(std::clamp(s, -32768.0, 32767.0)));
    raw.push_back(static_cast<char>(v & 0xff));
    raw.push_back(static_cast<char>((v >> 8) & 0xff));
  }
  test::WriteBytes(path + ".raw", raw);
  test::RunTool({"sox", "-V1", "-t", "raw", "-r", std::to_string(kRate), "-e", "signed", "-b", "16", "-c", "1",
                 path + ".raw", path});
  return path;
}

std::vector<double> Doubles(const std::vector<int16_t>& samples) { return {samples.begin(), samples.end()}; }

class NoisePeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("espeak-ng") || !test::HaveProgram("sox")) GTEST_SKIP() << "needs espeak-ng and sox";
    folder_ = test::TempPath("-peer");
    EnsureFolder(folder_);
    const std::string speech = folder_ + "/speech.wav";
    test::RunTool({"espeak-ng", "-w", speech,
                   "The quick brown fox jumps over the lazy dog. Noise reduction should leave the voice clear, "
                   "while the hiss in the pauses between the words goes away."});
    const std::vector<double> voice = Doubles(test::SoxSamples16(speech, {}, {"rate", std::to_string(kRate)}));
    clean_.assign(kLeadIn, 0.0);
    for (double s : voice) clean_.push_back(s * 0.5);
    const double seconds = static_cast<double>(clean_.size()) / kRate + 1;
    const std::string pink = folder_ + "/pink.wav";
    test::RunTool({"sox", "-V1", "-R", "-n", "-r", std::to_string(kRate), "-c", "1", "-b", "16", pink, "synth",
                   std::to_string(seconds), "pinknoise", "vol", "0.5"});
    std::vector<double> noise = Doubles(test::SoxSamples16(pink));
    noise.resize(clean_.size());
    // Scale the noise to 10 dB below the speech over the speech part.
    double speechPower = 0, noisePower = 0;
    for (size_t i = kLeadIn; i < clean_.size(); ++i) {
      speechPower += clean_[i] * clean_[i];
      noisePower += noise[i] * noise[i];
    }
    const double scale = std::sqrt(speechPower / noisePower / 10.0);
    noisy_ = clean_;
    for (size_t i = 0; i < noisy_.size(); ++i) noisy_[i] += noise[i] * scale;
    noisyFile_ = WavOf(noisy_, folder_ + "/noisy.wav");
  }

  // Klangor's result on the noisy sound (as a document of 16-bit samples x 16).
  std::vector<double> Klangor(const std::function<LResult(LSoundDocument&)>& run) {
    std::vector<int32_t> samples;
    for (double s : noisy_) samples.push_back(static_cast<int32_t>(std::lround(s)) * 16);
    LRef<LSoundDocument> document = test::Document(kRate, 1, samples);
    EXPECT_EQ(run(*document), LResult::kDone);
    std::vector<double> out;
    for (int32_t s : test::Audio(*document)) out.push_back(s / 16.0);
    return out;
  }

  std::vector<double> Sox(const std::string& amount) {
    const std::string profile = folder_ + "/noise.prof";
    test::RunTool({"sox", "-V1", noisyFile_, "-n", "trim", "0", "2", "noiseprof", profile});
    const std::string out = folder_ + "/sox-" + amount + ".wav";
    test::RunTool({"sox", "-V1", noisyFile_, out, "noisered", profile, amount});
    std::vector<double> result = Doubles(test::SoxSamples16(out));
    result.resize(clean_.size());
    return result;
  }

  std::string folder_;
  std::vector<double> clean_;
  std::vector<double> noisy_;
  std::string noisyFile_;
};

TEST_F(NoisePeerTest, EachRemoverRaisesTheSnrAsMuchAsNoisered) {
  const double before = SnrOf(clean_, noisy_);
  EXPECT_NEAR(before, 10.0 - 10 * std::log10((clean_.size()) / double(clean_.size() - kLeadIn)), 1.0);
  double sox = -100;
  for (const char* amount : {"0.1", "0.2", "0.3", "0.5"}) {
    const double gain = SnrOf(clean_, Sox(amount)) - before;
    std::printf("sox noisered %s: %+.2f dB\n", amount, gain);
    sox = std::max(sox, gain);
  }
  LSilentProgress progress;
  const double sample = SnrOf(clean_, Klangor([&](LSoundDocument& d) {
    d.SetSelection(0, kLeadIn, 0);
    if (CaptureNoiseSample(d, progress) != LResult::kDone) return LResult::kFailed;
    d.SetSelection(0, d.Length(), 0);
    return RunNoiseSampleSubtraction(d, progress);
  })) - before;
  const double automatic = SnrOf(clean_, Klangor([&](LSoundDocument& d) { return RunAutoSpectralSubtraction(d, 30, progress); })) - before;
  const double gate = SnrOf(clean_, Klangor([&](LSoundDocument& d) {
    return RunStreamEffect(d, MakeNoiseGateTask(-30), progress);
  })) - before;
  std::printf("noise sample: %+.2f dB, automatic: %+.2f dB, noise gate: %+.2f dB (input %.2f dB)\n", sample,
              automatic, gate, before);
  RecordProperty("sox", std::to_string(sox));
  EXPECT_GE(sample, sox);
  EXPECT_GE(automatic, sox);
  EXPECT_GE(gate, sox);
}

}  // namespace
}  // namespace klangor
