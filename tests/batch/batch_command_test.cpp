// The batch command records, their values and description lines, script files (also damaged
// ones) and the output names of a batch.

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <utility>

#include "batch/batch_command.h"
#include "batch/batch_processor.h"
#include "batch/batch_script.h"
#include "edit/auto_trim.h"
#include "effects/amplify.h"
#include "effects/auto_volume.h"
#include "effects/compressor.h"
#include "effects/echo.h"
#include "effects/envelope.h"
#include "effects/equalizer.h"
#include "effects/high_pass.h"
#include "effects/noise_gate.h"
#include "effects/normalize.h"
#include "effects/rate_commands.h"
#include "effects/reduce_vocals.h"
#include "effects/reverb.h"
#include "effects/spectral_subtraction.h"
#include "effects/speed_pitch.h"
#include "effects/stereo_pan.h"
#include "effects/stream_effect.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"
#include "store/sound_document.h"
#include "support/test_env.h"
#include "support/test_signals.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

class BatchCommandTest : public ::testing::Test {
 protected:
  BatchCommandTest() : folder_(test::TempPath("-cmd")), settings_(folder_ + "/user.ini", folder_ + "/machine.ini") {
    EnsureFolder(folder_);
  }
  std::string folder_;
  LSettingsStore settings_;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
  return bytes;
}

// Commands 1 and 2 with the largest stored time: the silence is cut to the room left below
// the largest frame count, so the sound itself stays whole and within reach of the save.
// Silence is at most ten minutes at a time, and a negative length is none (not the
// 4294967295 ms that its unsigned field would hold).
TEST_F(BatchCommandTest, SilenceCommandsStayWithinTheirRange) {
  constexpr int32_t kTenMinutes = 600 * 44100;
  std::vector<int32_t> samples(1000);
  for (int32_t i = 0; i < 1000; ++i) samples[static_cast<size_t>(i)] = (i + 1) * 16;
  LSilentProgress progress;
  for (uint32_t number : {1u, 2u}) {
    for (int32_t ms : {-1, std::numeric_limits<int32_t>::max()}) {
      auto document = MakeRef<LSoundDocument>();
      document->sound = test::MakeSound(44100, 1, samples);
      document->SetSelection(0, document->Length(), 0);
      const LBatchCommand command = *MakeBatchCommand(number, {ms});
      ASSERT_EQ(RunBatchCommand(command, *document, settings_, progress, [](const std::string&) {}),
                LResult::kDone);
      const int32_t silence = ms < 0 ? 0 : kTenMinutes;
      EXPECT_EQ(document->Length(), 1000 + silence) << number;
      LRef<LSoundStream> reader = OpenSegmentStream(document->sound);
      reader->Seek(number == 1 ? silence : 0);
      EXPECT_EQ(test::ReadInRandomPieces(*reader, 1000, 300, number), samples) << number;
    }
  }
}

// Batch command N runs effect N with the record's values, on the whole sound, without a
// message.
TEST_F(BatchCommandTest, EachCommandRunsItsEffect) {
  using LRun = std::function<LResult(LSoundDocument&, LProgress&)>;
  const LEnvelope shape = {{0, 20}, {100, 200}, {255, 128}};
  std::string block = EnvelopeBytes(shape);
  block.resize(kParameterBlockBytes, '\0');
  const std::vector<std::pair<LBatchCommand, LRun>> cases = {
      {*MakeBatchCommand(3, {50}), [](LSoundDocument& d, LProgress&) { AmplifySelection(d, 50); return LResult::kDone; }},
      {*MakeBatchCommand(4, {60}), [](LSoundDocument& d, LProgress& p) { return RunNormalize(d, 60, p); }},
      {*MakeBatchCommand(7, {120, 45}), [](LSoundDocument& d, LProgress& p) { return RunStreamEffect(d, MakeEchoTask(120, 45), p); }},
      {*MakeBatchCommand(8, {80, 30}), [](LSoundDocument& d, LProgress& p) { return RunStreamEffect(d, MakeReverbTask(30, 80), p); }},
      {{9, std::vector<uint8_t>(block.begin(), block.end())}, [&](LSoundDocument& d, LProgress& p) { return RunEnvelope(d, shape, p); }},
      {{10, {}}, [](LSoundDocument& d, LProgress& p) { return RunAutoVolume(d, p); }},
      {*MakeBatchCommand(13, {130}), [](LSoundDocument& d, LProgress& p) { return RunSpeedPitch(d, LSpeedPitchMode::kSpeedAndPitch, 130, p); }},
      {*MakeBatchCommand(14, {70}), [](LSoundDocument& d, LProgress& p) { return RunSpeedPitch(d, LSpeedPitchMode::kSpeedOnly, 70, p); }},
      {*MakeBatchCommand(15, {150}), [](LSoundDocument& d, LProgress& p) { return RunSpeedPitch(d, LSpeedPitchMode::kPitchOnly, 150, p); }},
      {*MakeBatchCommand(16, {-20, 2, 3}), [](LSoundDocument& d, LProgress& p) { return RunCompressor(d, -20, CompressorRatioFactor(2), 3, p); }},
      {*MakeBatchCommand(17, {48000}), [](LSoundDocument& d, LProgress& p) { return ConvertDocumentFormat(d, 48000, 2, p); }},
      {*MakeBatchCommand(18, {1}), [](LSoundDocument& d, LProgress& p) { return ConvertDocumentFormat(d, 22050, 1, p); }},
      {*MakeBatchCommand(19, {0}), [](LSoundDocument& d, LProgress& p) { return RunStreamEffect(d, MakeStereoPanTask(0), p); }},
      {{20, {}}, [](LSoundDocument& d, LProgress& p) { return RunReduceVocals(d, p); }},
      {*MakeBatchCommand(5, {250}), [](LSoundDocument& d, LProgress& p) { return RunStreamEffect(d, MakeHighPassTask(250), p); }},
      {{6, std::vector<uint8_t>(block.begin(), block.end())}, [&](LSoundDocument& d, LProgress& p) { return RunEqualizer(d, shape, p); }},
      {*MakeBatchCommand(11, {20}), [](LSoundDocument& d, LProgress& p) { return RunAutoSpectralSubtraction(d, 20, p); }},
      {*MakeBatchCommand(12, {-20}), [](LSoundDocument& d, LProgress& p) { return RunStreamEffect(d, MakeNoiseGateTask(-20), p); }},
      {{0, {}}, [](LSoundDocument& d, LProgress& p) { return RunAutoTrim(d, -20, p); }},
  };
  const std::vector<int32_t> samples = test::TestSamples(2, 30000);
  LSilentProgress progress;
  for (const auto& [command, run] : cases) {
    SCOPED_TRACE(command.number);
    LRef<LSoundDocument> batch = test::Document(22050, 2, samples);
    LRef<LSoundDocument> direct = test::Document(22050, 2, samples);
    std::vector<std::string> reports;
    ASSERT_EQ(RunBatchCommand(command, *batch, settings_, progress, [&](const std::string& m) { reports.push_back(m); }),
              LResult::kDone);
    ASSERT_EQ(run(*direct, progress), LResult::kDone);
    EXPECT_EQ(batch->sound.SampleRate(), direct->sound.SampleRate());
    EXPECT_EQ(batch->sound.Channels(), direct->sound.Channels());
    EXPECT_EQ(test::Audio(*batch), test::Audio(*direct));
    EXPECT_TRUE(reports.empty());
  }
}

TEST_F(BatchCommandTest, RecordsEncodeValuesLittleEndian) {
  EXPECT_EQ(MakeBatchCommand(7, {800, 50})->data, Bytes({0x20, 0x03, 0, 0, 50, 0}));
  EXPECT_EQ(MakeBatchCommand(16, {-20, 2, 3})->data, Bytes({0xec, 2, 3}));
  EXPECT_EQ(MakeBatchCommand(13, {-5})->data, Bytes({0xfb, 0xff}));
  EXPECT_FALSE(MakeBatchCommand(7, {800}));    // wrong count
  EXPECT_FALSE(MakeBatchCommand(6, {}));       // a parameter block cannot be typed in
  EXPECT_FALSE(MakeBatchCommand(99, {}));
  EXPECT_EQ(MakeBatchCommand(10, {})->data.size(), 0u);
}

TEST_F(BatchCommandTest, ValuesComeFromTheRecordElseFromTheStoredValues) {
  LBatchCommand silence{1, {}};
  EXPECT_EQ(BatchCommandValues(silence, settings_), (std::vector<int32_t>{0}));
  settings_.Write(kSilenceTimes, 250);
  EXPECT_EQ(BatchCommandValues(silence, settings_), (std::vector<int32_t>{250}));
  silence.data = Bytes({0x10, 0x27, 0, 0});
  EXPECT_EQ(BatchCommandValues(silence, settings_), (std::vector<int32_t>{10000}));
  silence.data = Bytes({1, 2, 3});  // a length that differs from the table counts as none
  EXPECT_EQ(BatchCommandValues(silence, settings_), (std::vector<int32_t>{250}));
  // The reverb level falls back to 100 when running and shows 50 in the description.
  LBatchCommand reverb{8, {}};
  EXPECT_EQ(BatchCommandValues(reverb, settings_), (std::vector<int32_t>{50, 100}));
  EXPECT_EQ(BatchCommandDescription(reverb, settings_), "Hall (Dauer) (ms) = 50, Hall (Level) (%) = 50");
}

TEST_F(BatchCommandTest, DescriptionLines) {
  EXPECT_EQ(BatchCommandDescription(*MakeBatchCommand(7, {800, 50}), settings_),
            "Echo (Dauer) (ms) = 800, Echo (Ausgang) (%) = 50");
  EXPECT_EQ(BatchCommandDescription(*MakeBatchCommand(16, {-20, 2, 3}), settings_),
            "Grenzwert (db) = -20, Verhältnis = 2:1, Limit (db) = 3");
  EXPECT_EQ(BatchCommandDescription(*MakeBatchCommand(16, {-20, 9, 3}), settings_), "");
  EXPECT_EQ(BatchCommandDescription(*MakeBatchCommand(19, {70}), settings_), "Stereo Pan = 70%");
  EXPECT_EQ(BatchCommandDescription({10, {}}, settings_), "");
  EXPECT_EQ(BatchCommandDescription({9, {}}, settings_), "Klicken sie auf Einstellungen um die Veränderungen zu sehen.");
  EXPECT_EQ(BatchCommandDescription({16, {}}, settings_), "Grenzwert (db) = -20, Verhältnis = 1:1, Limit (db) = 3");
}

TEST_F(BatchCommandTest, ScriptsLoadAsWrittenAndSurviveDamage) {
  EXPECT_EQ(ParseBatchScript("").status, LScriptStatus::kWrongVersion);
  EXPECT_EQ(ParseBatchScript(std::string(1, '\1')).status, LScriptStatus::kWrongVersion);
  LScriptLoad empty = ParseBatchScript(std::string(1, '\0'));
  EXPECT_EQ(empty.status, LScriptStatus::kLoaded);
  EXPECT_TRUE(empty.commands.empty());

  const std::vector<LBatchCommand> commands = {*MakeBatchCommand(7, {800, 50}), {10, {}},
                                               *MakeBatchCommand(16, {-20, 2, 3}), {6, std::vector<uint8_t>(129, 7)}};
  const std::string path = folder_ + "/list.klb";
  ASSERT_TRUE(SaveBatchScript(path, commands));
  LScriptLoad loaded = LoadBatchScript(path);
  EXPECT_EQ(loaded.status, LScriptStatus::kLoaded);
  EXPECT_EQ(loaded.commands, commands);
  EXPECT_EQ(LoadBatchScript(folder_ + "/missing.klb").status, LScriptStatus::kCannotOpen);

  // Cut inside the last record's data: the record keeps what could be read.
  const std::string bytes = SerialiseBatchScript(commands);
  LScriptLoad cut = ParseBatchScript(bytes.substr(0, bytes.size() - 100));
  ASSERT_EQ(cut.commands.size(), 4u);
  EXPECT_EQ(cut.commands[3].data.size(), 29u);
  EXPECT_FALSE(HasOwnValues(cut.commands[3]));
  // Cut inside a record's length: that record is dropped.
  LScriptLoad header = ParseBatchScript(std::string(1, '\0') + test::Le32(7) + test::Le16(6));
  EXPECT_TRUE(header.commands.empty());
  // A data length of 4 GB takes only what the file holds.
  LScriptLoad huge = ParseBatchScript(std::string(1, '\0') + test::Le32(7) + test::Le32(0xffffffffu) + "abc");
  ASSERT_EQ(huge.commands.size(), 1u);
  EXPECT_EQ(huge.commands[0].data.size(), 3u);
}

TEST_F(BatchCommandTest, OutputNames) {
  LBatchOutput output;
  EXPECT_EQ(BatchOutputName("/music/song.mp3", output), "/music/song.mp3");
  output.sameFormat = false;
  output.formatIndex = 0;
  EXPECT_EQ(BatchOutputName("/music/song.mp3", output), "/music/song.wav");
  output.formatIndex = 3;
  output.sameFolder = false;
  output.folder = "/out";
  EXPECT_EQ(BatchOutputName("/music/song.take.mp3", output), "/out/song.take.aiff");
  output.formatIndex = 16;
  EXPECT_EQ(BatchOutputName("/music/song.mp3", output), "");
}

}  // namespace
}  // namespace klangor
