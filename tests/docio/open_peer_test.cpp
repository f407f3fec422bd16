// Every format that opens through a decoder program, FFmpeg or the compressed WAV path gives
// what ffmpeg decodes from the same file. The inputs are made at test time by sox, flac,
// oggenc, lame and ffmpeg.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "docio_test_util.h"
#include "platform/file.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using test::RunTool;

class OpenPeerTest : public test::OpenTest {
 protected:
  // Two and a half seconds of two tones and a little noise, 16-bit stereo 44100 Hz.
  std::string Source() {
    const std::string source = Path("source.wav");
    if (!FileExists(source)) {
      RunTool({"sox", "-V1", "-R", "-n", "-b", "16", "-c", "2", "-r", "44100", source, "synth", "2.5", "sine", "440",
               "sine", "1250", "synth", "2.5", "pinknoise", "mix", "vol", "0.5"});
    }
    return source;
  }
  std::string Ffmpeg(const std::string& name, const std::vector<std::string>& options,
                     const std::vector<std::string>& input = {}) {
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
    argv.insert(argv.end(), input.begin(), input.end());
    argv.insert(argv.end(), {"-i", Source()});
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(Path(name));
    RunTool(argv);
    return Path(name);
  }
  void Check(const std::string& file, bool lossless, int frameTolerance) {
    int32_t rate = 0;
    int channels = 0;
    const std::vector<int32_t> ours = LoadSamples(file, &rate, &channels);
    EXPECT_TRUE(ui_.openErrors.empty() && ui_.decoderMessages.empty()) << file;
    test::ExpectLikeFfmpeg(ours, test::FfmpegSamples(file), channels, lossless, frameTolerance, file);
  }
};

TEST_F(OpenPeerTest, DecoderProgramsGiveWhatFfmpegDecodes) {
  const std::string flac = Path("song.flac");
  RunTool({"flac", "-s", "-f", "-o", flac, Source()});
  Check(flac, true, 0);
  const std::string ogg = Path("song.ogg");
  RunTool({"oggenc", "-Q", "-q", "4", "-o", ogg, Source()});
  Check(ogg, false, 0);
  Check(Ffmpeg("song.m4a", {"-c:a", "aac", "-b:a", "128k"}), false, 1024);
  Check(Ffmpeg("song.aac", {"-c:a", "aac", "-f", "adts"}), false, 1024);
  // Voice recorder files and Shorten go through their shims to ffmpeg, which reads what the
  // content is (no encoder for either exists here).
  Check(Ffmpeg("memo.act", {"-c:a", "pcm_s16le", "-f", "wav"}), true, 0);
  Check(Ffmpeg("music.shn", {"-c:a", "flac", "-f", "flac"}), true, 0);
}

TEST_F(OpenPeerTest, FfmpegReadsEveryOtherExtensionAndVideoFiles) {
  Check(Ffmpeg("speech.wma", {"-c:a", "wmav2", "-b:a", "128k"}), false, 2048);
  Check(Ffmpeg("voice.ra", {"-ar", "8000", "-ac", "1", "-c:a", "real_144", "-f", "rm"}), false, 160);
  Check(Ffmpeg("song.mp2", {"-c:a", "mp2"}), false, 1152);
  Check(Ffmpeg("song.opus", {"-c:a", "libopus"}), false, 960);
  Check(Ffmpeg("lossless.mka", {"-c:a", "flac"}), true, 0);
  const std::vector<std::string> video = {"-f", "lavfi", "-i", "testsrc=size=96x64:rate=25"};
  Check(Ffmpeg("clip.avi", {"-t", "2.5", "-c:v", "mpeg4", "-c:a", "libmp3lame"}, video), false, 1152);
  Check(Ffmpeg("clip.mpg", {"-t", "2.5", "-c:v", "mpeg1video", "-c:a", "mp2"}, video), false, 1152);
  Check(Ffmpeg("clip.wmv", {"-t", "2.5", "-c:v", "wmv2", "-c:a", "wmav2"}, video), false, 2048);
  // A name without an extension, and one whose last extension is unknown.
  Check(Ffmpeg("noextension", {"-c:a", "pcm_s16le", "-f", "wav"}), true, 0);
  Check(Ffmpeg("archive.ogg.bak", {"-c:a", "libvorbis", "-f", "ogg"}), false, 0);
}

TEST_F(OpenPeerTest, CompressedWaveFormatsDecodeAtTheirOwnRateAndChannels) {
  struct LCase {
    const char* name;
    std::vector<std::string> options;
    bool exact;
    int tolerance;
  };
  const LCase cases[] = {
      {"ima.wav", {"-c:a", "adpcm_ima_wav"}, true, 0},
      {"msadpcm.wav", {"-c:a", "adpcm_ms", "-ac", "1", "-ar", "22050"}, true, 0},
      {"alaw.wav", {"-c:a", "pcm_alaw", "-ar", "8000"}, true, 0},
      {"mulaw.wav", {"-c:a", "pcm_mulaw", "-ac", "1"}, true, 0},
      {"gsm.wav", {"-c:a", "gsm_ms", "-ac", "1", "-ar", "8000"}, true, 0},
      {"float.wav", {"-c:a", "pcm_f32le"}, false, 0},
      {"mpeg3.wav", {"-c:a", "libmp3lame", "-b:a", "128k"}, false, 1152},
  };
  for (const LCase& c : cases) Check(Ffmpeg(c.name, c.options), c.exact, c.tolerance);
}

TEST_F(OpenPeerTest, CompressedWaveSeeksLandOnTheSameFrames) {
  const std::string ima = Ffmpeg("seek.wav", {"-c:a", "adpcm_ima_wav"});
  const std::vector<int16_t> reference = test::FfmpegSamples(ima);
  LRef<LSoundStream> stream;
  LOpenContext context(settings_, ui_, silent_);
  bool prompt = false;
  ASSERT_EQ(OpenAudioFile(stream, ima, prompt, context), LResult::kDone);
  EXPECT_EQ(stream->Length() * 2, static_cast<int32_t>(reference.size()));
  for (int32_t frame : {100000, 777, 50000, 0, 1 << 22}) {
    stream->Seek(frame);
    std::vector<int32_t> piece(2 * 300);
    stream->Read(piece.data(), 300);
    for (int i = 0; i < 600; ++i) {
      const size_t at = static_cast<size_t>(frame) * 2 + i;
      const int32_t expected = at < reference.size() ? reference[at] * 16 : 0;
      ASSERT_EQ(piece[i], expected) << "frame " << frame << " sample " << i;
    }
  }
}

TEST_F(OpenPeerTest, TagsOfTheFileStayWithTheDocument) {
  const std::vector<std::string> meta = {"-metadata", "title=Nachtmusik", "-metadata", "artist=Ännchen",
                                         "-metadata", "album=Serenaden",  "-metadata", "date=1787",
                                         "-metadata", "track=13/20",      "-metadata", "genre=Classical",
                                         "-metadata", "comment=live"};
  auto with = [&](std::vector<std::string> options) {
    options.insert(options.begin(), meta.begin(), meta.end());
    return options;
  };
  const std::string flac = Path("tagged.flac");
  RunTool({"flac", "-s", "-f", "-T", "TITLE=Nachtmusik", "-T", "ARTIST=Ännchen", "-T", "ALBUM=Serenaden", "-T",
           "DATE=1787", "-T", "TRACKNUMBER=13", "-T", "GENRE=Classical", "-T", "COMMENT=live", "-o", flac, Source()});
  const std::string mp3 = Path("tagged.mp3");
  RunTool({"lame", "--quiet", "--tt", "Nachtmusik", "--ta", "Ännchen", "--tl", "Serenaden", "--ty", "1787", "--tn",
           "13/20", "--tg", "Classical", "--tc", "live", Source(), mp3});
  const std::string ogg = Path("tagged.ogg");
  RunTool({"oggenc", "-Q", "-t", "Nachtmusik", "-a", "Ännchen", "-l", "Serenaden", "-d", "1787", "-N", "13", "-G",
           "Classical", "-c", "COMMENT=live", "-o", ogg, Source()});
  for (const std::string& file : {flac, mp3, ogg, Ffmpeg("tagged.m4a", with({"-c:a", "aac"})),
                                  Ffmpeg("tagged.wma", with({"-c:a", "wmav2"}))}) {
    auto document = MakeRef<LSoundDocument>();
    ASSERT_EQ(Load(file, *document), LResult::kDone) << file;
    const LTagList& tags = document->tags;
    EXPECT_EQ(tags.Get(kTagTitle), "Nachtmusik") << file;
    EXPECT_EQ(tags.Get(kTagArtist), "Ännchen") << file;
    EXPECT_EQ(tags.Get(kTagAlbum), "Serenaden") << file;
    EXPECT_EQ(tags.Get(kTagDate), "1787") << file;
    EXPECT_EQ(tags.Get(kTagTrackNumber), "13") << file;
    EXPECT_EQ(tags.Get(kTagGenre), "Classical") << file;
    // FFmpeg skips the UTF-16 comment frame that lame writes for a non-ASCII tag set.
    if (file != mp3) {
      EXPECT_EQ(tags.Get(kTagComment), "live") << file;
    }
    EXPECT_FALSE(tags.Has("TLEN")) << file;
    EXPECT_FALSE(tags.Has("ENCODER")) << file;
    EXPECT_EQ(document->fileName, file);
  }
}

}  // namespace
}  // namespace klangor
