// klangor-batch applying the gain, envelope, echo, reverb, stereo pan and reduce vocals
// commands to real WAV files made by sox.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "batch/batch_command.h"
#include "batch/batch_script.h"
#include "effects/db_table.h"
#include "effects/echo.h"
#include "effects/envelope.h"
#include "effects/fixed_point.h"
#include "effects/reverb.h"
#include "platform/paths.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

int RunBatchProgram(std::vector<std::string> args, std::string* output) {
  const char* build = std::getenv("KLANGOR_BUILD_DIR");
  args.insert(args.begin(), std::string(build != nullptr ? build : ".") + "/apps/klangor-batch/klangor-batch");
  std::vector<std::string> shell = {"sh", "-c", "exec \"$0\" \"$@\" 2>&1"};
  shell.insert(shell.end(), args.begin(), args.end());
  return test::Run(shell, output);
}

// The 16-bit samples of a WAV file as sox reads them.
std::vector<int32_t> Samples16(const std::string& path) {
  std::string raw;
  EXPECT_EQ(test::Run({"sox", path, "-t", "s16", "-e", "signed-integer", "-"}, &raw), 0);
  std::vector<int16_t> samples(raw.size() / 2);
  std::memcpy(samples.data(), raw.data(), samples.size() * 2);
  return std::vector<int32_t>(samples.begin(), samples.end());
}

// Internal samples (16 x the 16-bit value) back to 16 bits, as the WAV writer does it.
int32_t To16(int32_t internal) { return (internal + 8) >> 4; }

class EffectsBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    folder_ = test::TempPath("-effects-batch");
    ASSERT_TRUE(EnsureFolder(folder_ + "/out"));
    setenv("XDG_DATA_HOME", (folder_ + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
    input_ = folder_ + "/take.wav";
    // Two different tones, below a third of full scale, so that no output needs the limiter.
    ASSERT_EQ(test::Run({"sox", "-V1", "-R", "-n", "-b", "16", "-c", "2", "-r", "8000", input_, "synth", "1.5",
                         "sine", "330", "sine", "1210", "vol", "0.3"},
                        nullptr),
              0);
    source_ = Samples16(input_);
    ASSERT_EQ(source_.size(), 2u * 12000);
    for (int32_t s : source_) internal_.push_back(s * 16);
  }

  // Runs the commands over the input; the output's 16-bit samples.
  std::vector<int32_t> Apply(const std::vector<std::string>& commands) {
    std::vector<std::string> args = {"-q", "--output-folder", folder_ + "/out"};
    args.insert(args.end(), commands.begin(), commands.end());
    args.push_back(input_);
    std::string output;
    EXPECT_EQ(RunBatchProgram(args, &output), 0) << output;
    return Samples16(folder_ + "/out/take.wav");
  }

  // The input's internal samples through an effect stream, as 16-bit samples.
  std::vector<int32_t> Through(const std::function<LRef<LSoundStream>(LRef<LSoundStream>)>& make) {
    const std::vector<int32_t> samples = internal_;
    LRef<LSoundStream> stream = make(MakeRef<test::LFunctionStream>(
        8000, 2, 12000, [samples](int64_t f, int c) { return samples[static_cast<size_t>(2 * f + c)]; }, 2097152));
    std::vector<int32_t> out(2 * 12000);
    stream->Read(out.data(), 12000);
    for (int32_t& x : out) x = To16(x);
    return out;
  }

  std::string folder_;
  std::string input_;
  std::vector<int32_t> source_;
  std::vector<int32_t> internal_;
};

TEST_F(EffectsBatchTest, AmplifyAndNormalizeChangeTheLevel) {
  // 50 %: the segment gain (2^24 div 100) x 50 is read as a Q9 gain of 255.
  std::vector<int32_t> out = Apply({"--command", "3=50"});
  ASSERT_EQ(out.size(), source_.size());
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], To16((255 * internal_[i]) >> 9)) << i;

  // Normalising to 60 % of full scale from the peak of both channels.
  int32_t peak = 0;
  for (int32_t x : internal_) peak = std::max(peak, std::abs(x));
  const int32_t percent = 60 * 524272 / peak;
  const int32_t gain = ((kUnityGain / 100) * percent) >> 15;
  out = Apply({"--command", "4=60"});
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], To16((gain * internal_[i]) >> 9)) << i;
}

TEST_F(EffectsBatchTest, EchoReverbAndTheStoredValues) {
  EXPECT_EQ(Apply({"--command", "7=120,45"}),
            Through([](LRef<LSoundStream> in) { return MakeEchoTask(120, 45).processor->MakeStream(in); }));
  EXPECT_EQ(Apply({"--command", "8=80,30"}),
            Through([](LRef<LSoundStream> in) { return MakeReverbTask(30, 80).processor->MakeStream(in); }));
  // Without values the stored ones apply.
  {
    LSettingsStore settings = LSettingsStore::FromEnvironment();
    settings.Write(kEchoTime, 250);
    settings.Write(kEchoGain, 20);
  }
  EXPECT_EQ(Apply({"--command", "7"}),
            Through([](LRef<LSoundStream> in) { return MakeEchoTask(250, 20).processor->MakeStream(in); }));
}

TEST_F(EffectsBatchTest, EnvelopeFromTheFileOrTheScript) {
  // Without a parameter block the envelope comes from "envelope.dat" in the data folder.
  ASSERT_TRUE(SaveEnvelopeFile(EnvelopeFilePath(), FadeOutEnvelope()));
  auto envelope = [](const LEnvelope& points) {
    return [points](LRef<LSoundStream> in) { return LRef<LSoundStream>(MakeRef<LEnvelopeStream>(in, points, 12000)); };
  };
  EXPECT_EQ(Apply({"--command", "9"}), Through(envelope(FadeOutEnvelope())));

  // A script's record carries its own 129-byte block.
  const LEnvelope shape = {{0, 20}, {100, 200}, {255, 128}};
  std::string bytes = EnvelopeBytes(shape);
  bytes.resize(kParameterBlockBytes, '\0');
  const std::string script = folder_ + "/shape.klb";
  ASSERT_TRUE(SaveBatchScript(script, {LBatchCommand{9, std::vector<uint8_t>(bytes.begin(), bytes.end())}}));
  EXPECT_EQ(Apply({"--script", script}), Through(envelope(shape)));
}

TEST_F(EffectsBatchTest, StereoPanAndReduceVocals) {
  // All the way left: +3 dB on the left, the right silent.
  std::vector<int32_t> out = Apply({"--command", "19=0"});
  for (size_t i = 0; i < out.size(); i += 2) {
    ASSERT_EQ(out[i], To16(MulQ24(internal_[i], GainOfDb(3)))) << i;
    ASSERT_EQ(out[i + 1], 0) << i;
  }
  // Reduce vocals leaves one channel, left minus right.
  out = Apply({"--command", "20"});
  ASSERT_EQ(out.size(), source_.size() / 2);
  for (size_t f = 0; f < out.size(); ++f) ASSERT_EQ(out[f], To16(internal_[2 * f] - internal_[2 * f + 1])) << f;

  // A mono file keeps its sound under stereo pan, and the message says why.
  const std::string mono = folder_ + "/mono.wav";
  ASSERT_EQ(test::Run({"sox", "-V1", input_, "-c", "1", mono, "remix", "1"}, nullptr), 0);
  std::string output;
  ASSERT_EQ(RunBatchProgram({"--output-folder", folder_ + "/out", "-q", "--command", "19=0", mono}, &output), 0);
  EXPECT_NE(output.find("Dieser Effekt kann nur in einer Stereodatei angewendet werden."), std::string::npos) << output;
  EXPECT_EQ(Samples16(folder_ + "/out/mono.wav"), Samples16(mono));
}

}  // namespace
}  // namespace klangor
