// OpenAudioFile's dispatch, prompts and messages, the decoder programs' failures, and the
// ".dct" container.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "docio/raw_settings.h"
#include "docio_test_util.h"
#include "formats/dct_file.h"
#include "formats/open_messages.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using test::RunTool;

class OpenDispatchTest : public test::OpenTest {
 protected:
  LResult Open(const std::string& path, bool prompt = true, LProgress* progress = nullptr) {
    LOpenContext context(settings_, ui_, progress != nullptr ? *progress : silent_);
    context.temporaryFolder = temporary_;
    context.decoderTimeoutMs = decoderTimeoutMs_;
    stream_.Reset();
    return OpenAudioFile(stream_, path, prompt, context);
  }
  std::string Tone(const std::string& name, double seconds = 0.5) {
    const std::string path = Path(name);
    RunTool({"sox", "-V1", "-n", "-b", "16", "-c", "1", "-r", "8000", "-t", "wav", path, "synth",
             std::to_string(seconds), "sine", "500"});
    return path;
  }
  LRef<LSoundStream> stream_;
};

TEST_F(OpenDispatchTest, TheExtensionDecidesInAnyCaseAndByItsLastPart) {
  const std::string flac = Path("SONG.FLAC");
  RunTool({"flac", "-s", "-f", "-o", flac, Tone("a.wav")});
  EXPECT_EQ(Open(flac), LResult::kDone);
  EXPECT_EQ(stream_->Length(), 4000);
  const std::string tar = Path("archive.tar.flac");
  RunTool({"cp", flac, tar});
  EXPECT_EQ(Open(tar), LResult::kDone);
  // A WAV file named ".ogg" is not read as WAV: the OGG decoder refuses it, by name.
  RunTool({"cp", Tone("b.wav"), Path("fake.ogg")});
  EXPECT_EQ(Open(Path("fake.ogg")), LResult::kFailed);
  ASSERT_EQ(ui_.decoderMessages.size(), 1u);
  EXPECT_NE(ui_.decoderMessages[0].find("the decoder \"oggdec\" failed"), std::string::npos) << ui_.decoderMessages[0];
  EXPECT_FALSE(stream_->Usable());
}

TEST_F(OpenDispatchTest, MessagesFollowTheRowsAndThePromptFlag) {
  struct LCase {
    std::string name;
    std::string contents;  // empty: the file does not exist
    std::string message;
  };
  const std::string garbage(3000, 'g');
  const LCase cases[] = {
      {"missing.mp3", "", "Cannot open the file \"%\". Check it exists and you have read access."},
      {"bad.mp3", garbage, "Cannot open the file \"%\". It is possibly either corrupt or not a true layer-3 MPEG file."},
      {"missing.ogg", "", "Cannot open the file \"%\". Check it exists and you have read access."},
      {"bad.wma", garbage, "Cannot open file \"%\". It is possible that the file does not exist, it is corrupt or the "
                           "file is protected with Digital Rights Management (DRM) which limits the recording to "
                           "limited players."},
      {"missing.xyz", "", "Cannot open the file \"%\". Check it exists and you have read access."},
      {"bad.xyz", garbage, "Cannot open the file \"%\". This means that either the file format is not supported"},
      {"bad.msv", garbage, "Cannot open the file \"%\" because the codec is not installed. Please download the Sony"},
      {"bad.wav", garbage, "Cannot open the file \"%\" because it is corrupt."},
  };
  for (const LCase& c : cases) {
    const std::string path = Path(c.name);
    if (!c.contents.empty()) test::WriteBytes(path, c.contents);
    ui_.openErrors.clear();
    EXPECT_EQ(Open(path), LResult::kFailed) << c.name;
    ASSERT_EQ(ui_.openErrors.size(), 1u) << c.name;
    std::string expected = c.message;
    expected.replace(expected.find('%'), 1, path);
    EXPECT_EQ(ui_.openErrors[0].substr(0, expected.size()), expected);
    // Without the prompt flag nothing is shown; the stream says what went wrong.
    ui_.openErrors.clear();
    EXPECT_EQ(Open(path, false), LResult::kFailed);
    EXPECT_TRUE(ui_.openErrors.empty());
    EXPECT_NE(stream_->State(), LStreamState::kOk);
  }
  // The rows with messages of their own show them whatever the flag says.
  test::WriteBytes(Path("bad.dss"), garbage);
  test::WriteBytes(Path("any.sri"), garbage);
  test::WriteBytes(Path("bad.ra"), garbage);
  for (const char* name : {"bad.dss", "any.sri", "bad.ra"}) EXPECT_EQ(Open(Path(name), false), LResult::kFailed);
  ASSERT_EQ(ui_.decoderMessages.size(), 3u);
  EXPECT_EQ(ui_.decoderMessages[0], kDssOpenMessage);
  EXPECT_EQ(ui_.decoderMessages[1].substr(0, 42), "Unable to load the VoiceIt file SrPump.dll");
  EXPECT_EQ(ui_.decoderMessages[2].substr(0, 31), "Unable to open file with FFmpeg");
}

TEST_F(OpenDispatchTest, RawFilesAskOncePerPromptFlag) {
  test::WriteBytes(Path("one.raw"), std::string(800, '\x10'));
  test::WriteBytes(Path("two.snd"), std::string(800, '\x10'));
  LOpenContext context(settings_, ui_, silent_);
  bool prompt = true;
  LRef<LSoundStream> stream;
  EXPECT_EQ(OpenAudioFile(stream, Path("one.raw"), prompt, context), LResult::kDone);
  EXPECT_FALSE(prompt);
  EXPECT_EQ(OpenAudioFile(stream, Path("two.snd"), prompt, context), LResult::kDone);
  EXPECT_EQ(ui_.rawDialogs, 1);
  EXPECT_EQ(stream->SampleRate(), 44100);
  EXPECT_EQ(stream->Length(), 400);  // 16-bit mono, the stored default
  ui_.acceptRawDialog = false;
  EXPECT_EQ(Open(Path("one.raw")), LResult::kCancelled);
  EXPECT_TRUE(ui_.openErrors.empty());
}

TEST_F(OpenDispatchTest, AmrGoesThroughItsDecoderToARawFileAndStoresTheRawRecord) {
  // A stand-in decoder with the component's command line: 8000 Hz mono 16-bit samples.
  SetComponent("amrdec", WriteScript("fake-amrdec", "exec sox -V1 \"$1\" -t raw -e signed -b 16 -L \"$2\""));
  const std::string amr = Path("memo.amr");
  RunTool({"cp", Tone("memo.wav"), amr});
  ASSERT_TRUE(SaveRawFormat(settings_, LRawRecord::kRawAudio, {22050, 2, 5}));
  int32_t rate = 0;
  int channels = 0;
  const std::vector<int32_t> samples = LoadSamples(amr, &rate, &channels);
  EXPECT_EQ(rate, 8000);
  EXPECT_EQ(channels, 1);
  EXPECT_EQ(samples.size(), 4000u);
  const LRawFormat stored = LoadRawFormat(settings_, LRawRecord::kRawAudio);
  EXPECT_EQ(stored.sampleRate, 8000u);
  EXPECT_EQ(stored.channels, 1);
  EXPECT_EQ(stored.codec, static_cast<uint32_t>(LRawCodec::kPcm16LittleEndian));
}

TEST_F(OpenDispatchTest, DecodersThatFailAreNamedAndLeaveNothingBehind) {
  const std::string input = Path("in.flac");
  test::WriteBytes(input, "fLaC not really");
  struct LCase {
    const char* body;
    const char* message;
  };
  const std::string start = "Cannot open the file \"" + input + "\": the decoder \"flacdec-test\" ";
  const LCase cases[] = {
      {"echo 'broken input' >&2; exit 3", "failed (exit status 3).\r\n\r\nbroken input"},
      {"kill -SEGV $$", "failed (ended by signal 11)."},
      {"head -c 5000 /dev/urandom > \"$5\"", "did not write a valid WAV file."},
      {": > \"$5\"", "did not write a valid WAV file."},
  };
  for (const LCase& c : cases) {
    SetComponent("flacdec", WriteScript("flacdec-test", c.body));
    ui_.decoderMessages.clear();
    EXPECT_EQ(Open(input), LResult::kFailed) << c.body;
    ASSERT_EQ(ui_.decoderMessages.size(), 1u) << c.body;
    EXPECT_EQ(ui_.decoderMessages[0], start + c.message);
    EXPECT_TRUE(TemporaryFolderEmpty()) << c.body;
  }
  // A component named in the settings that does not exist: the package to install is named.
  SetComponent("flacdec", Path("nowhere/flac"));
  ui_.decoderMessages.clear();
  EXPECT_EQ(Open(input), LResult::kFailed);
  ASSERT_EQ(ui_.decoderMessages.size(), 1u);
  EXPECT_NE(ui_.decoderMessages[0].find("Komponente nicht installieren \"flacdec\""), std::string::npos);
  EXPECT_NE(ui_.decoderMessages[0].find("Debian-Paket \"flac\""), std::string::npos);
}

TEST_F(OpenDispatchTest, AHangingDecoderIsStoppedOnCancelAndOnTimeOut) {
  const std::string pidFile = Path("decoder.pid");
  SetComponent("oggdec", WriteScript("hang", "echo $$ > \"" + pidFile + "\"; exec sleep 60"));
  const std::string input = Path("in.ogg");
  test::WriteBytes(input, "OggS");
  auto stopped = [&] {
    const std::string pid = test::ReadBytes(pidFile);
    return !pid.empty() && test::ReadBytes("/proc/" + std::to_string(std::stoi(pid)) + "/stat").find(") Z") ==
                               std::string::npos &&
           !FileExists("/proc/" + std::to_string(std::stoi(pid)));
  };
  test::LCancelAfter cancel(3);
  EXPECT_EQ(Open(input, true, &cancel), LResult::kCancelled);
  EXPECT_TRUE(ui_.decoderMessages.empty());
  EXPECT_TRUE(stopped());
  EXPECT_TRUE(TemporaryFolderEmpty());

  decoderTimeoutMs_ = 1200;
  EXPECT_EQ(Open(input), LResult::kFailed);
  ASSERT_EQ(ui_.decoderMessages.size(), 1u);
  EXPECT_EQ(ui_.decoderMessages[0],
            "Cannot open the file \"" + input + "\": the decoder \"hang\" did not finish in time and was stopped.");
  EXPECT_TRUE(stopped());
}

TEST_F(OpenDispatchTest, ADecoderThatFailsAfterItsHeaderFailsTheLoad) {
  // A valid header announcing a second of audio, a little of it, then an error: the load is
  // read while the decoder runs, and fails with its message.
  SetComponent("flacdec", WriteScript("half", "sox -V1 -n -b 16 -c 1 -r 8000 -t wav - synth 1 sine 300 | "
                                              "head -c 4000 > \"$5\"; sleep 0.3; echo 'lost sync' >&2; exit 1"));
  const std::string input = Path("half.flac");
  test::WriteBytes(input, "fLaC");
  auto document = MakeRef<LSoundDocument>();
  EXPECT_EQ(Load(input, *document), LResult::kFailed);
  ASSERT_EQ(ui_.decoderMessages.size(), 1u);
  EXPECT_EQ(ui_.decoderMessages[0],
            "Cannot open the file \"" + input + "\": the decoder \"half\" failed (exit status 1).\r\n\r\nlost sync");
  EXPECT_EQ(document->Length(), 0);
}

TEST_F(OpenDispatchTest, AwkwardFileNamesReachTheDecoderIntact) {
  const std::string source = Tone("tone.wav");
  for (const std::string name : {"with space.flac", "quote\"d 'and' $(x).flac", "-leading-dash.flac",
                                 "new\nline.flac", "Ümläut ß.flac"}) {
    const std::string path = Path(name);
    RunTool({"flac", "-s", "-f", "-o", path, source});
    EXPECT_EQ(Open(path), LResult::kDone) << name;
    EXPECT_EQ(stream_->Length(), 4000) << name;
  }
  // Relative to the current folder, with a leading dash: not taken for an option.
  ASSERT_EQ(::chdir(folder_.c_str()), 0);
  EXPECT_EQ(Open("-leading-dash.flac"), LResult::kDone);
  EXPECT_EQ(stream_->Length(), 4000);
  stream_.Reset();
}

// --- The dictation container ---

std::string Le(uint32_t value, int bytes) { return std::string(test::Le32(value)).substr(0, bytes); }

// A container of `version` around `payload`; `flags` and the channel count as given.
std::string Dct(int version, const std::string& payload, uint32_t flags = 0, int channels = 1,
                int sizeAdjust = 0) {
  std::string body;
  body += Le(flags, 4) + std::string(8, '\0');
  if (version >= 3) body += Le(5, 4) + "extra";
  body += std::string(4, '\0');
  for (int i = 0; i < 11; ++i) body += std::string(1, '\3') + "abc";
  body += '\0';
  body += Le(4, 4) + "note";
  if ((flags & 4) != 0) body += std::string(1, '\1') + std::string(1, '\4') + "name" + Le(3, 4) + "att";
  if (version >= 1) body += std::string(1, static_cast<char>(channels)) + Le(static_cast<uint32_t>(payload.size()), 4);
  body += payload;
  const uint32_t total = static_cast<uint32_t>(2 + 4 + body.size()) + sizeAdjust;
  return Le(static_cast<uint32_t>(version), 2) + Le(total, 4) + body;
}

TEST_F(OpenDispatchTest, DictationContainersUnwrapTheirWaveFile) {
  const std::string wave = test::ReadBytes(Tone("dictation.wav"));
  for (int version : {0, 1, 2, 3}) {
    const std::string path = Path("memo" + std::to_string(version) + ".dct");
    test::WriteBytes(path, Dct(version, wave, version >= 1 ? 4 : 0));
    EXPECT_EQ(Open(path), LResult::kDone) << version;
    EXPECT_EQ(stream_->Length(), 4000) << version;
  }
  struct LCase {
    std::string bytes;
    std::string message;
  };
  const LCase cases[] = {
      {Dct(4, wave), kDctLoadError},
      {Dct(2, wave, 0, 1, 1), kDctCorrupt},
      {Dct(2, wave, 0, 1, -1), kDctCorrupt},
      {Dct(2, wave, 2), std::string(kDctEncrypted) + " Open it with"},
      {Dct(2, wave, 0, 0), kDctZeroChannels},
      {"\1", kDctCorrupt},
  };
  for (const LCase& c : cases) {
    test::WriteBytes(Path("bad.dct"), c.bytes);
    ui_.decoderMessages.clear();
    EXPECT_EQ(Open(Path("bad.dct")), LResult::kFailed) << c.message;
    ASSERT_EQ(ui_.decoderMessages.size(), 1u) << c.message;
    EXPECT_EQ(ui_.decoderMessages[0].substr(0, c.message.size()), c.message);
  }
  // Notes longer than the file.
  std::string notes = Dct(1, wave);
  const size_t at = notes.find("note") - 4;
  notes.replace(at, 4, Le(1u << 30, 4));
  test::WriteBytes(Path("notes.dct"), notes);
  ui_.decoderMessages.clear();
  EXPECT_EQ(Open(Path("notes.dct")), LResult::kFailed);
  ASSERT_EQ(ui_.decoderMessages.size(), 1u);
  EXPECT_EQ(ui_.decoderMessages[0], kDctNotesError);
}

}  // namespace
}  // namespace klangor
