// klangor-batch opens the extensions of the Open dialog's "Audio Files" filter and video files
// through OpenAudioFile: --probe and --format wav, with bad input failing cleanly.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using test::RunTool;

class OpenBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempPath(".batch");
    ASSERT_TRUE(EnsureFolder(folder_ + "/out"));
    ASSERT_TRUE(EnsureFolder(folder_ + "/tmp", 0700));
    test::UsePrivateHome(folder_ + "/home");
    ::setenv("TMPDIR", (folder_ + "/tmp").c_str(), 1);
    source_ = folder_ + "/source.wav";
    RunTool({"sox", "-V1", "-n", "-b", "16", "-c", "2", "-r", "44100", source_, "synth", "1.5", "sine", "500"});
  }
  void TearDown() override {
    // klangor-batch's private temporary folder holds no temporary WAV file or lock.
    for (const std::string& name : ListFolder(folder_ + "/tmp/klangor-" + std::to_string(::getuid()))) {
      ADD_FAILURE() << "left behind: " << name;
    }
    ::unsetenv("TMPDIR");
  }
  std::string Ffmpeg(const std::string& name, std::vector<std::string> options, const std::vector<std::string>& video = {}) {
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
    argv.insert(argv.end(), video.begin(), video.end());
    argv.insert(argv.end(), {"-i", source_});
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(folder_ + "/" + name);
    RunTool(argv);
    return folder_ + "/" + name;
  }
  std::string folder_;
  std::string source_;
};

// The extensions whose decoding open_peer_test, the formats tests and formats_batch_test
// check (FLAC, OGG, WMA, MP2, RealAudio, AIFF, AU, GSM, VOX, raw, MP3, compressed WAV, AVI, MPG,
// WMV) are left out; the shims' formats are in, since the program finds them next to itself.
TEST_F(OpenBatchTest, ProbesAndConvertsTheOtherExtensionsAndVideoFiles) {
  const std::string f = folder_ + "/";
  RunTool({"sox", source_, f + "song.aif"});
  RunTool({"lame", "--quiet", source_, f + "song.mpga"});
  Ffmpeg("song.m4a", {"-c:a", "aac"});
  Ffmpeg("song.aac", {"-c:a", "aac", "-f", "adts"});
  Ffmpeg("voice.ram", {"-ar", "8000", "-ac", "1", "-c:a", "real_144", "-f", "rm"});
  Ffmpeg("song.shn", {"-c:a", "flac", "-f", "flac"});
  for (const char* name : {"memo.act", "memo.rec", "memo.rcd"}) Ffmpeg(name, {"-c:a", "pcm_s16le", "-f", "wav"});
  const std::vector<std::string> video = {"-f", "lavfi", "-i", "testsrc=size=96x64:rate=25"};
  Ffmpeg("clip.mpeg", {"-t", "1.5", "-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}, video);
  // AMR-NB, written by the test helper over libopencore-amrnb.
  const char* build = std::getenv("KLANGOR_BUILD_DIR");
  RunTool({"sh", "-c", "sox -V1 \"$0\" -r 8000 -c 1 -t raw -e signed -b 16 -L - | \"$1\" > \"$2\"", source_,
           std::string(build != nullptr ? build : ".") + "/tests/klangor_test_amr_encode", f + "memo.amr"});
  // The container around a WAV file.
  const std::string wave = test::ReadBytes(source_);
  std::string body = std::string(12, '\0') + std::string(4, '\0');
  for (int i = 0; i < 11; ++i) body += '\0';
  body += '\0' + test::Le32(0) + '\2' + test::Le32(static_cast<uint32_t>(wave.size())) + wave;
  test::WriteBytes(f + "memo.dct", test::Le16(1) + test::Le32(static_cast<uint32_t>(6 + body.size())) + body);

  const std::vector<std::string> files = {"source.wav", "song.mpga", "song.aif", "voice.ram", "song.aac",
                                          "song.m4a",   "memo.dct",  "memo.act", "memo.rec",  "memo.rcd",
                                          "song.shn",   "memo.amr",  "clip.mpeg"};
  for (const std::string& name : files) {
    const std::string path = f + name;
    test::LBatchRun probe = test::RunKlangorBatch({"--probe", path});
    EXPECT_EQ(probe.status, 0) << name << ": " << probe.output;
    EXPECT_NE(probe.output.find(", state 0"), std::string::npos) << probe.output;
    test::LBatchRun convert = test::RunKlangorBatch({"-q", "--format", "wav", "--output-folder", f + "out", path});
    EXPECT_EQ(convert.status, 0) << name << ": " << convert.output;
    const std::string stem = name.substr(0, name.rfind('.'));
    const std::string written = f + "out/" + stem + ".wav";
    ASSERT_TRUE(FileExists(written)) << name;
    // About 1.5 s of audio at the file's own rate and channels (AMR, RA: 8000 Hz mono).
    const std::string info = RunTool({"soxi", "-D", written});
    EXPECT_NEAR(std::stod(info), 1.5, 0.1) << name;
    RemoveFile(written);
  }
}

TEST_F(OpenBatchTest, BadInputOfEveryKindExitsWithTwoAndAMessage) {
  const std::string f = folder_ + "/";
  const std::string garbage(5000, '\x5a');
  for (const char* extension : {"wav", "mp3", "ogg", "flac", "m4a", "aac", "wma", "shn", "act", "amr", "dct", "dss",
                                "ra", "avi", "xyz", "aiff", "au"}) {
    for (const std::string& contents : {std::string(), garbage, test::ReadBytes(source_).substr(0, 30)}) {
      const std::string path = f + "bad." + extension;
      test::WriteBytes(path, contents);
      test::LBatchRun run = test::RunKlangorBatch({"-q", "--format", "wav", "--output-folder", f + "out", path});
      EXPECT_EQ(run.status, 2) << extension << " " << contents.size() << ": " << run.output;
      // The own messages of the ".dct", ".dss" and RealAudio rows do not name the file.
      const bool named = run.output.find("bad." + std::string(extension)) != std::string::npos;
      const bool own = run.output.find("DCT") != std::string::npos || run.output.find("Unable to") != std::string::npos;
      EXPECT_TRUE(named || own) << extension << ": " << run.output;
      EXPECT_FALSE(FileExists(f + "out/bad.wav")) << extension;
    }
  }
}

}  // namespace
}  // namespace klangor
