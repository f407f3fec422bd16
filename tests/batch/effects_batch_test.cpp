// klangor-batch applying effect commands to real WAV files made by sox: one run of typed,
// stored and scripted values; sample rate and channels (17, 18), speed and pitch (13 to 15)
// with values out of range, commands streamed into the saved file, and saving into formats of
// a fixed rate.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch_command.h"
#include "batch/batch_script.h"
#include "effects/echo.h"
#include "effects/envelope.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

// The 16-bit samples of a WAV file as sox reads them.
std::vector<int32_t> Samples16(const std::string& path) {
  const std::vector<int16_t> samples = test::SoxSamples16(path);
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
    test::UsePrivateHome(folder_);
    input_ = folder_ + "/take.wav";
    // Two different tones, below a third of full scale, so that no output needs the limiter.
    test::RunTool({"sox", "-V1", "-R", "-n", "-b", "16", "-c", "2", "-r", "8000", input_, "synth", "1.5", "sine", "330",
                   "sine", "1210", "vol", "0.3"});
    source_ = Samples16(input_);
    ASSERT_EQ(source_.size(), 2u * 12000);
    for (int32_t s : source_) internal_.push_back(s * 16);
  }

  // Runs the commands over the input; the output's 16-bit samples.
  std::vector<int32_t> Apply(const std::vector<std::string>& commands) {
    std::vector<std::string> args = {"-q", "--output-folder", folder_ + "/out"};
    args.insert(args.end(), commands.begin(), commands.end());
    args.push_back(input_);
    const test::LBatchRun run = test::RunKlangorBatch(args);
    EXPECT_EQ(run.status, 0) << run.output;
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

// One run through the command line: typed values, stored values, a script's parameter block,
// and the stereo-only message for a mono file. (What each command computes is checked in
// batch_command_test against the effects themselves.)
TEST_F(EffectsBatchTest, CommandsFromTheCommandLineStoredValuesAndScripts) {
  EXPECT_EQ(Apply({"--command", "7=120,45"}),
            Through([](LRef<LSoundStream> in) { return MakeEchoTask(120, 45).processor->MakeStream(in); }));
  {
    LSettingsStore settings = LSettingsStore::FromEnvironment();
    settings.Write(kEchoTime, 250);
    settings.Write(kEchoGain, 20);
  }
  EXPECT_EQ(Apply({"--command", "7"}),
            Through([](LRef<LSoundStream> in) { return MakeEchoTask(250, 20).processor->MakeStream(in); }));

  const LEnvelope shape = {{0, 20}, {100, 200}, {255, 128}};
  std::string bytes = EnvelopeBytes(shape);
  bytes.resize(kParameterBlockBytes, '\0');
  const std::string script = folder_ + "/shape.klb";
  ASSERT_TRUE(SaveBatchScript(script, {LBatchCommand{9, std::vector<uint8_t>(bytes.begin(), bytes.end())}}));
  EXPECT_EQ(Apply({"--script", script}), Through([&](LRef<LSoundStream> in) {
              return LRef<LSoundStream>(MakeRef<LEnvelopeStream>(in, shape, 12000));
            }));

  const std::string mono = folder_ + "/mono.wav";
  test::RunTool({"sox", "-V1", input_, "-c", "1", mono, "remix", "1"});
  const test::LBatchRun run =
      test::RunKlangorBatch({"--output-folder", folder_ + "/out", "-q", "--command", "19=0", mono});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Dieser Effekt kann nur in einer Stereodatei angewendet werden."), std::string::npos)
      << run.output;
  EXPECT_EQ(Samples16(folder_ + "/out/mono.wav"), Samples16(mono));
}

struct LFileInfo {
  int rate = 0;
  int channels = 0;
  long frames = 0;
};

LFileInfo Probe(const std::string& path) {
  LFileInfo info;
  const test::LBatchRun run = test::RunKlangorBatch({"--probe", path});
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string& text = run.output;
  const size_t colon = text.rfind(": ");
  EXPECT_EQ(std::sscanf(text.c_str() + colon + 2, "%d Hz, %d channels, %ld frames", &info.rate, &info.channels,
                        &info.frames), 3) << text;
  return info;
}

class RateBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
    folder_ = test::TempPath("-rate-batch");
    ASSERT_TRUE(EnsureFolder(folder_ + "/out"));
    test::UsePrivateHome(folder_);
    input_ = folder_ + "/take.wav";
    test::RunTool({"sox", "-V1", "-R", "-n", "-b", "16", "-c", "2", "-r", "44100", input_, "synth", "0.5", "sine", "440",
                   "sine", "1000", "vol", "0.3"});
  }

  // Runs the commands on the input; the output's format.
  LFileInfo Convert(const std::vector<std::string>& commands, const std::string& format = "wav") {
    std::vector<std::string> args = {"-q", "--format", format, "--output-folder", folder_ + "/out"};
    for (const std::string& command : commands) {
      args.push_back("--command");
      args.push_back(command);
    }
    args.push_back(input_);
    const test::LBatchRun run = test::RunKlangorBatch(args);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
    return Probe(Output(format));
  }
  std::string Output(const std::string& format = "wav") const { return folder_ + "/out/take." + format; }

  std::string folder_;
  std::string input_;
};

TEST_F(RateBatchTest, SampleRateAndChannels) {
  LFileInfo info = Convert({"17=48000"});
  EXPECT_EQ(info.rate, 48000);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.frames, (22050L * 37 + 33) / 34);

  info = Convert({"18=1"});
  EXPECT_EQ(info.rate, 44100);
  EXPECT_EQ(info.channels, 1);
  // The left channel exactly.
  EXPECT_EQ(test::SoxSamples16(Output()), test::SoxSamples16(input_, {}, {"remix", "1"}));

  info = Convert({"18=1", "17=8000", "18=2"});
  EXPECT_EQ(info.rate, 8000);
  EXPECT_EQ(info.channels, 2);
  EXPECT_NEAR(info.frames, 4000, 2);
}

// Values the dialogs would refuse, from a script or the command line.
TEST_F(RateBatchTest, OutOfRangeValuesAreBroughtIntoRange) {
  EXPECT_EQ(Convert({"17=0"}).rate, 6000);
  EXPECT_EQ(Convert({"17=-1"}).rate, 6000);  // a negative value is the lowest, not 4294967295
  EXPECT_EQ(Convert({"17=200000"}).rate, 96000);
  EXPECT_EQ(Convert({"18=0"}).channels, 1);
  EXPECT_EQ(Convert({"18=7"}).channels, 2);
  EXPECT_NEAR(Convert({"13=0"}).frames, 220500, 2);   // as 10 %: 10 times as long
  EXPECT_NEAR(Convert({"14=-40"}).frames, 220500, 256);
  EXPECT_NEAR(Convert({"14=1000"}).frames, 7350, 256);  // as 300 %
  EXPECT_NEAR(Convert({"15=1000"}).frames, 22050, 256);  // pitch only keeps the length
}

// Hand-edited stored values outside their dialog's range are brought into it; one that is not
// a number is the default.
TEST_F(RateBatchTest, StoredValuesAreBroughtIntoTheirDialogRanges) {
  ASSERT_TRUE(EnsureFolder(folder_ + "/config/Tessaly Audio"));
  test::WriteBytes(folder_ + "/config/Tessaly Audio/Klangor.ini",
                   "[StoredValues]\nSilenceTimes=-5\nEchoTime=999999999\nConvertSampleRate=0\n"
                   "ConvertChannel=200\nAmplifyGain=abc\n");
  EXPECT_EQ(Convert({"1", "2"}).frames, 22050);       // no silence, not 4294967291 ms
  EXPECT_EQ(Convert({"17"}).rate, 6000);              // the lowest rate of the dialog
  EXPECT_EQ(Convert({"18=1", "18"}).channels, 2);     // at most two channels
  Convert({"3"});                                     // 100 %: the samples as they were
  EXPECT_EQ(test::SoxSamples16(Output()), test::SoxSamples16(input_));
  Convert({"7"});                                     // 2999 ms, the longest echo: seconds of work
  const std::vector<int16_t> echo = test::SoxSamples16(Output());
  Convert({"7=2999,50"});
  EXPECT_EQ(echo, test::SoxSamples16(Output()));
  const LSettingsStore store = LSettingsStore::FromEnvironment();
  EXPECT_EQ(store.Read(kEchoTime), 2999);
  EXPECT_EQ(store.Read(kAmplifyGain), 100);
  EXPECT_EQ(store.Read(kSilenceTimes), 0);
  EXPECT_EQ(store.Read(kConvertSampleRate), 6000);
  EXPECT_EQ(store.Read(kConvertChannel), 2);
}

// Commands that end the list and are single passes of a stream are streamed into the saved
// file. Each gives the file the document path gives (a last command without a stream form,
// "1=0", keeps the whole list on the document); so does the mixed way, loaded first and
// streamed after a command of the document. The input is loud, so that the limiters act.
TEST_F(RateBatchTest, StreamedCommandsGiveWhatTheDocumentGives) {
  test::RunTool({"sox", "-V1", "-R", "-n", "-b", "16", "-c", "2", "-r", "44100", input_, "synth", "1.5", "sine",
                 "200-3000", "pinknoise", "vol", "0.97"});
  struct LCase {
    std::vector<std::string> list;
    std::string format;
  };
  const std::vector<LCase> cases = {
      {{"5=300"}, "wav"},  {{"7=120,100"}, "wav"}, {{"8=900,90"}, "wav"}, {{"12=-30"}, "wav"},
      {{"13=130"}, "wav"}, {{"14=150"}, "wav"},    {{"15=70"}, "wav"},    {{"17=48000"}, "wav"},
      {{"17=8000"}, "wav"}, {{"18=1"}, "wav"},     {{"7=80,100", "17=22050", "18=1"}, "wav"},
      // Saved at a rate of its own, through the adapter and the limiter behind it.
      {{"7=120,100"}, "gsm"}, {{"17=48000"}, "gsm"}};
  for (const LCase& c : cases) {
    const std::string name = c.list[0] + " as " + c.format;
    Convert(c.list, c.format);
    const std::string streamed = test::ReadBytes(Output(c.format));
    std::vector<std::string> onDocument = c.list;
    onDocument.push_back("1=0");
    Convert(onDocument, c.format);
    EXPECT_TRUE(test::ReadBytes(Output(c.format)) == streamed) << name;
    onDocument.pop_back();
    onDocument.insert(onDocument.begin(), "1=0");
    Convert(onDocument, c.format);
    EXPECT_TRUE(test::ReadBytes(Output(c.format)) == streamed) << name << " after 1=0";
  }
}

// Formats with a rate and channel count of their own are written through the adapter.
TEST_F(RateBatchTest, SavingConvertsToTheFormatOfTheFile) {
  const LFileInfo gsm = Convert({}, "gsm");
  EXPECT_EQ(gsm.rate, 8000);
  EXPECT_EQ(gsm.channels, 1);
  EXPECT_NEAR(gsm.frames, 4000, 160);  // 0.5 s, in whole 160-sample frames
}

}  // namespace
}  // namespace klangor
