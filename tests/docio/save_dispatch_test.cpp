// SaveAudioFile and the encoders: the argument vectors at their edge cases, every format
// of the Save As list decoded again by ffmpeg, and the failures (missing, failing, hanging
// and crashing encoders, a full disk, an unwritable folder, odd target names).

#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <string>
#include <vector>

#include "docio/encoder_commands.h"
#include "docio/save_audio_file.h"
#include "docio_test_util.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using test::RunTool;

class SaveDispatchTest : public test::OpenTest {
 protected:
  void TearDown() override {
    for (const std::string& name : ListFolder(folder_)) {
      EXPECT_EQ(name.find(".klangor-"), std::string::npos) << "left behind: " << name;
    }
    OpenTest::TearDown();
  }
  // A tone of `seconds` with a different pitch per channel.
  static LRef<LSoundStream> Tone(int32_t rate, int channels, double seconds) {
    return MakeRef<test::LFunctionStream>(rate, channels, static_cast<int32_t>(seconds * rate),
                                          [rate](int64_t frame, int channel) {
                                            return static_cast<int32_t>(
                                                200000 * std::sin(frame * (440.0 + 220 * channel) * 6.283 / rate));
                                          });
  }
  // rate, channels and frames as ffprobe and ffmpeg see them.
  struct LProbe {
    int rate = 0, channels = 0;
    int64_t frames = 0;
  };
  static LProbe Probe(const std::string& path) {
    const std::string out = RunTool({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                                     "stream=sample_rate,channels", "-of", "csv=p=0", path});
    LProbe probe;
    std::sscanf(out.c_str(), "%d,%d", &probe.rate, &probe.channels);
    if (probe.channels > 0) probe.frames = static_cast<int64_t>(test::FfmpegSamples(path).size()) / probe.channels;
    return probe;
  }
};

std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (size_t i = 1; i < args.size(); ++i) text += (i > 1 ? " " : "") + args[i];
  return text;
}

TEST(EncoderCommandTest, ArgumentVectorsFollowTheRatesAndLimits) {
  LMp3EncoderSettings mp3;
  LEncoderCommand c = Mp3EncoderCommand("lame", mp3, 96000, 2, "-x.mp3");
  EXPECT_EQ(Joined(c.arguments), "-m j -b 128 -h -r --little-endian -s 48.000 -S - ./-x.mp3");
  EXPECT_EQ(c.sampleRate, 48000);
  EXPECT_EQ(Mp3EncoderRate(mp3, 12000), 11025);
  EXPECT_EQ(Mp3EncoderRate(mp3, 5000), 8000);
  EXPECT_EQ(Mp3EncoderRate(mp3, 44100), 44100);
  EXPECT_EQ(Mp3EncoderRate(mp3, 24000), 24000);
  mp3.cbrBitRate = 16;  // below 32: at most 22050 Hz; below 24: mono, mode m, no -a
  mp3.channelMode = LMp3ChannelMode::kMono;
  c = Mp3EncoderCommand("lame", mp3, 44100, 2, "t.mp3");
  EXPECT_EQ(Joined(c.arguments), "-m m -b 16 -h -r --little-endian -s 22.050 -S - t.mp3");
  EXPECT_EQ(c.channels, 1);
  mp3 = {};
  mp3.channelMode = LMp3ChannelMode::kMono;  // stereo sound in mono mode: lame mixes down
  mp3.constantBitRate = false;
  mp3.vbrMaxBitRate = 192;
  mp3.errorProtection = true;
  c = Mp3EncoderCommand("lame", mp3, 22050, 2, "t.mp3");
  EXPECT_EQ(Joined(c.arguments), "-a -m m -p -v -b 32 -B 192 -V 4 -r --little-endian -s 44.100 -S - t.mp3");
  EXPECT_EQ(c.channels, 2);

  LOggEncoderSettings ogg;
  ogg.qualityMode = false;
  c = OggEncoderCommand("oggenc", ogg, 8000, 1, {}, "t.ogg");
  EXPECT_EQ(Joined(c.arguments), "-r -C 1 -R 8000 -m 36 -M 36 -Q - -o t.ogg");
  LTagList tags;
  tags.Set(kTagTitle, "A\nB");
  tags.Set(kTagArtist, std::string(10000, 'x'));
  c = OggEncoderCommand("oggenc", {}, 44100, 2, tags, "t.ogg");
  EXPECT_EQ(Joined(c.arguments), "-r -C 2 -R 44100 --downmix -q 4 -c TITLE=A B -c ARTIST=" + std::string(259, 'x') +
                                     " -Q - -o t.ogg");
  ogg.stripComments = true;
  ogg.channels = 2;
  c = OggEncoderCommand("oggenc", ogg, 44100, 2, tags, "t.ogg");
  EXPECT_EQ(Joined(c.arguments), "-r -C 2 -R 44100 -m 96 -M 128 --discard-comments -Q - -o t.ogg");

  c = FlacEncoderCommand("flac", {5, 2, 48000}, {}, "t.flac");
  EXPECT_EQ(Joined(c.arguments), "--force-raw-format --channels=2 --sample-rate=48000 --compression-level-5 "
                                 "--endian=little --bps=16 --sign=signed -f - -o t.flac");
  EXPECT_EQ(c.sampleRate, 48000);
  EXPECT_EQ(c.channels, 2);
  c = AacEncoderCommand("aacenc", {true, 128, 100, true, true}, 8000, 1, "t.aac");
  EXPECT_EQ(Joined(c.arguments), "-C 1 -R 8000 -b 36 --mpeg-vers 2 --no-tns -X - -o t.aac");
  EXPECT_EQ(Joined(AmrEncoderCommand("amrenc", 7, "t.amr").arguments), "MR122 - t.amr");
  EXPECT_EQ(Joined(AmrFileArguments("amrenc", 0, "/t/a.wav", "t.amr")), "MR475 /t/a.wav t.amr");
}

TEST_F(SaveDispatchTest, EveryFormatOfTheListDecodesAgainWithItsRateAndChannels) {
  settings_.WriteInt("FlacEncoder", "Channels", 2);
  settings_.WriteInt("OggEncoder", "Channels", 2);
  struct LCase {
    const char* name;
    int rate, channels;
    int64_t tolerance;  // frames: one codec frame (and the encoder's padding)
  };
  const LCase cases[] = {
      {"t.wav", 22050, 2, 0}, {"t.mp3", 22050, 2, 1152 * 2}, {"t.ogg", 22050, 2, 2048}, {"t.flac", 44100, 2, 0},
      {"t.aac", 22050, 2, 2048}, {"t.m4a", 22050, 2, 1024}, {"t.amr", 8000, 1, 160}, {"t.aiff", 22050, 2, 0},
      {"t.au", 22050, 2, 0},   {"t.gsm", 8000, 1, 160},
  };
  for (const LCase& c : cases) {
    const std::string path = Path(c.name);
    ASSERT_EQ(Save(Tone(22050, 2, 1.0), path), LResult::kDone) << c.name;
    const LProbe probe = Probe(path);
    EXPECT_EQ(probe.rate, c.rate) << c.name;
    EXPECT_EQ(probe.channels, c.channels) << c.name;
    EXPECT_LE(std::llabs(probe.frames - c.rate), c.tolerance) << c.name << ": " << probe.frames;
  }
  EXPECT_TRUE(kept_.messages.empty());
  // FLAC and WAV are lossless: a sound at the stored rate comes back sample for sample.
  ASSERT_EQ(Save(Tone(44100, 2, 1.0), Path("e.flac")), LResult::kDone);
  ASSERT_EQ(Save(Tone(44100, 2, 1.0), Path("e.wav")), LResult::kDone);
  const std::vector<int16_t> flac = test::FfmpegSamples(Path("e.flac"));
  ASSERT_EQ(flac.size(), 44100u * 2);
  EXPECT_EQ(flac, test::FfmpegSamples(Path("e.wav")));
  EXPECT_EQ(flac[2001], static_cast<int16_t>((static_cast<int32_t>(200000 * std::sin(1000 * 660.0 * 6.283 / 44100)) +
                                              8) >> 4));
}

TEST_F(SaveDispatchTest, TheEncoderGetsItsArgumentVectorAndTheSamples) {
  // A recording shim: writes its arguments, one per line, and the bytes it read.
  const std::string log = Path("args.txt");
  SetComponent("mp3el", WriteScript("lame-shim", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + log +
                                                     "'\nwc -c | tr -d ' ' >> '" + log + "'\nshift $(($# - 1))\n"
                                                     "echo encoded > \"$1\""));
  const std::string odd = Path("-a \"quoted\"\nname.MP3");
  ASSERT_EQ(Save(Tone(11025, 1, 0.5), odd), LResult::kDone);
  const std::string args = test::ReadBytes(log);
  EXPECT_EQ(args.substr(0, args.find("-S\n")), "-m\nm\n-b\n128\n-h\n-r\n--little-endian\n-s\n11.025\n");
  EXPECT_NE(args.find("/.-a \"quoted\"\nname.MP3.klangor-"), std::string::npos) << args;
  EXPECT_EQ(args.substr(args.rfind('\n', args.size() - 2) + 1), std::to_string(5512 * 2) + "\n");
  EXPECT_EQ(test::ReadBytes(odd), "encoded\n");
}

TEST_F(SaveDispatchTest, FailedEncodersLeaveTheOldFileAndNoProcessBehind) {
  const std::string target = Path("old.ogg");
  test::WriteBytes(target, "old contents");
  const std::string pidFile = Path("pid");
  struct LCase {
    const char* what;
    std::string body;
    int cancelAfter;
    LResult result;
    const char* message;
  };
  const LCase cases[] = {
      {"fails", "cat > /dev/null; echo 'disk on fire' >&2; exit 3", -1, LResult::kFailed,
       "the encoder \"bad-enc\" failed (exit status 3).\r\n\r\ndisk on fire"},
      {"stops reading", "exit 0", -1, LResult::kFailed, "the encoder \"bad-enc\" stopped reading"},
      {"crashes", "head -c 1000 > /dev/null; kill -SEGV $$", -1, LResult::kFailed, "the encoder \"bad-enc\""},
      {"full disk", "ulimit -f 1; exec oggenc \"$@\"", -1, LResult::kFailed, "the encoder \"bad-enc\""},
      {"hangs", "echo $$ > '" + pidFile + "'; exec sleep 60", 20, LResult::kCancelled, nullptr},
      {"hangs at the end", "echo $$ > '" + pidFile + "'; cat > /dev/null; exec sleep 60", 40, LResult::kCancelled,
       nullptr},
  };
  for (const LCase& c : cases) {
    kept_.messages.clear();
    ::unlink(pidFile.c_str());
    SetComponent("oggenc", WriteScript("bad-enc", c.body));
    test::LCancelAfter cancel(c.cancelAfter);
    EXPECT_EQ(Save(Tone(44100, 2, 20), target, &cancel), c.result) << c.what;
    EXPECT_EQ(test::ReadBytes(target), "old contents") << c.what;
    if (c.message != nullptr) {
      ASSERT_EQ(kept_.messages.size(), 1u) << c.what;
      EXPECT_NE(kept_.messages[0].find(c.message), std::string::npos) << c.what << ": " << kept_.messages[0];
      EXPECT_EQ(kept_.messages[0].find("Kann Datei nicht erstellen\"" + target + "\"zum Speichern."), 0u);
    } else {
      EXPECT_TRUE(kept_.messages.empty()) << c.what;
      const int pid = std::atoi(test::ReadBytes(pidFile).c_str());
      ASSERT_GT(pid, 0) << c.what;
      EXPECT_NE(::kill(pid, 0), 0) << c.what << ": the encoder still runs";
    }
  }
  // Missing encoders, unknown extensions and folders without write permission.
  SetComponent("oggenc", Path("nowhere/oggenc"));
  kept_.messages.clear();
  EXPECT_EQ(Save(Tone(8000, 1, 0.1), target), LResult::kFailed);
  ASSERT_EQ(kept_.messages.size(), 1u);
  EXPECT_NE(kept_.messages[0].find("\"oggenc\""), std::string::npos) << kept_.messages[0];
  EXPECT_EQ(Save(Tone(8000, 1, 0.1), Path("t.xyz")), LResult::kFailed);
  EXPECT_FALSE(FileExists(Path("t.xyz")));
  const std::string locked = Path("locked");
  ASSERT_TRUE(EnsureFolder(locked, 0500));
  const bool writable = ::access(locked.c_str(), W_OK) == 0;  // as root it is
  if (!writable) {
    EXPECT_EQ(Save(Tone(8000, 1, 0.1), locked + "/t.mp3"), LResult::kFailed);
  }
  EXPECT_EQ(kept_.messages.size(), writable ? 2u : 3u);
  EXPECT_TRUE(EnsureEncoderAvailable(settings_, "WAV"));
  EXPECT_FALSE(EnsureEncoderAvailable(settings_, ".ogg"));
  EXPECT_FALSE(EnsureEncoderAvailable(settings_, ".ra"));
}

// The four list files: the MP3 file next to them decodes, the list text is exact (root URL
// with and without "/", an empty one, XML characters in the title), and a failed encoder
// leaves neither a list file nor a changed old file.
TEST_F(SaveDispatchTest, ListFilesPointToTheMp3FileNextToThem) {
  struct LCase {
    const char* name;
    const char* root;
    std::string text;  // "@" stands for the MP3 file's size
  };
  const LCase cases[] = {
      {"show.m3u", "http://h/p/", "#EXTM3U\r\n#EXTINF:1,show\r\nhttp://h/p/show.mp3\r\n"},
      {"a&b.pls", "", "[playlist]\r\nFile1=a%26b.mp3\r\nTitle1=a&b\r\nLength1=1\r\nNumberOfEntries=1\r\nVersion=2\r\n"},
      {"a&<\"'.wpl", "http://h",
       "<?wpl version=\"1.0\"?>\r\n<smil>\r\n    <head>\r\n        <title>a&amp;&lt;&quot;&apos;</title>\r\n    "
       "</head>\r\n    <body>\r\n        <seq>\r\n            <media src=\"http://h/a%26%3C%22%27.mp3\"/>\r\n    "
       "    </seq>\r\n    </body>\r\n</smil>\r\n"},
      {"x <y>.rss", "http://h/?a=1&b=2",
       "<?xml version=\"1.0\" ?>\r\n<rss version=\"2.0\">\r\n  <channel>\r\n      <title>x &lt;y&gt;</title>\r\n  "
       "    <description>x &lt;y&gt;</description>\r\n      <link>http://h/?a=1&amp;b=2</link>\r\n      <item>\r\n"
       "         <title>x &lt;y&gt;</title>\r\n         <description>x &lt;y&gt;</description>\r\n         "
       "<enclosure url=\"http://h/?a=1&amp;b=2/x%20%3Cy%3E.mp3\" length=\"@\" type=\"audio/mpeg\" />\r\n      "
       "</item>\r\n  </channel>\r\n</rss>\r\n"},
  };
  for (const LCase& c : cases) {
    SCOPED_TRACE(c.name);
    settings_.Write(kRssRootUrl, std::string(c.root));
    const std::string list = Path(c.name);
    ASSERT_EQ(Save(Tone(22050, 2, 1.7), list), LResult::kDone);
    std::string mp3 = list.substr(0, list.rfind('.')) + ".mp3";
    std::string text = c.text;
    if (const size_t at = text.find('@'); at != std::string::npos) {
      text.replace(at, 1, std::to_string(test::ReadBytes(mp3).size()));
    }
    EXPECT_EQ(test::ReadBytes(list), text);
    const LProbe probe = Probe(mp3);
    EXPECT_EQ(probe.rate, 22050);
    EXPECT_EQ(probe.channels, 2);
    EXPECT_GT(probe.frames, 22050 * 17 / 10 - 2000);
  }

  // A failing encoder: the old list and MP3 files stay, no new list file appears.
  SetComponent("mp3el", WriteScript("bad-enc", "cat > /dev/null; exit 3"));
  test::WriteBytes(Path("old.m3u"), "old list");
  test::WriteBytes(Path("old.mp3"), "old mp3");
  EXPECT_EQ(Save(Tone(8000, 1, 0.3), Path("old.m3u")), LResult::kFailed);
  EXPECT_EQ(Save(Tone(8000, 1, 0.3), Path("new.pls")), LResult::kFailed);
  EXPECT_EQ(test::ReadBytes(Path("old.m3u")), "old list");
  EXPECT_EQ(test::ReadBytes(Path("old.mp3")), "old mp3");
  EXPECT_FALSE(FileExists(Path("new.pls")));
  EXPECT_FALSE(FileExists(Path("new.mp3")));
  EXPECT_EQ(kept_.messages.size(), 2u);
}

}  // namespace
}  // namespace klangor
