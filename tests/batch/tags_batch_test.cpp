// klangor-batch keeps the tags of its source in every target that carries tags, as the
// reference reader (ffprobe) and our own reader see them; ID3v1 holds Latin-1 cut to its byte
// fields; control characters and very long values are written safely.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "docio/file_tags.h"
#include "platform/paths.h"
#include "support/test_env.h"

namespace klangor {
namespace {

using test::RunTool;

// The tags ffprobe reads from the container and its first stream, names in lower case.
std::map<std::string, std::string> ProbeTags(const std::string& path) {
  const std::string text = RunTool({"ffprobe", "-v", "error", "-show_entries", "format_tags:stream_tags", "-of",
                                    "default=noprint_wrappers=1", path});
  std::map<std::string, std::string> tags;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const size_t eq = line.find('=');
    if (line.rfind("TAG:", 0) != 0 || eq == std::string::npos) continue;
    std::string name = line.substr(4, eq - 4);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    tags[name] = line.substr(eq + 1);
  }
  return tags;
}

class TagsBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"ffmpeg", "ffprobe", "lame", "oggenc", "flac"}) {
      if (!test::HaveProgram(program)) GTEST_SKIP() << program << " is not installed";
    }
    folder_ = test::TempPath("-tags");
    ASSERT_TRUE(EnsureFolder(folder_ + "/out"));
    test::UsePrivateHome(folder_);
  }
  std::string MakeSource(const std::vector<std::string>& metadata) {
    const std::string source = folder_ + "/song.flac";
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                                     "sine=frequency=440:sample_rate=44100:duration=1", "-ac", "2"};
    for (const std::string& m : metadata) {
      argv.push_back("-metadata");
      argv.push_back(m);
    }
    argv.push_back(source);
    RunTool(argv);
    return source;
  }
  test::LBatchRun Convert(const std::string& source, const std::string& format) {
    return test::RunKlangorBatch({"-q", "--format", format, "--output-folder", folder_ + "/out", source});
  }
  std::string folder_;
};

TEST_F(TagsBatchTest, EveryTaggedTargetKeepsTheSourceTags) {
  const std::string source = MakeSource({"title=Süße Nacht", "artist=Die Ärzte", "album=Album Eins", "date=1998",
                                         "track=7", "genre=Rock", "comment=Live aufgenommen"});
  for (const std::string format : {"mp3", "ogg", "flac"}) {
    SCOPED_TRACE(format);
    const test::LBatchRun run = Convert(source, format);
    ASSERT_EQ(run.status, 0) << run.output;
    std::map<std::string, std::string> tags = ProbeTags(folder_ + "/out/song." + format);
    EXPECT_EQ(tags["title"], "Süße Nacht");
    EXPECT_EQ(tags["artist"], "Die Ärzte");
    EXPECT_EQ(tags["album"], "Album Eins");
    EXPECT_EQ(tags["date"], "1998");
    EXPECT_EQ(tags["track"].substr(0, 1), "7");
    EXPECT_EQ(tags["genre"], "Rock");
    EXPECT_EQ(tags["comment"], "Live aufgenommen");
  }
  // WAV: INAM carries the album and DISP the title; both read back by our reader, the
  // chunks that mean the same to every reader by ffprobe too.
  const test::LBatchRun run = Convert(source, "wav");
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string wav = folder_ + "/out/song.wav";
  const LTagList read = ReadFileTags(wav);
  EXPECT_EQ(read.Get(kTagTitle), "Süße Nacht");
  EXPECT_EQ(read.Get(kTagAlbum), "Album Eins");
  EXPECT_EQ(read.Get(kTagTrackNumber), "7");
  std::map<std::string, std::string> tags = ProbeTags(wav);
  EXPECT_EQ(tags["artist"], "Die Ärzte");
  EXPECT_EQ(tags["genre"], "Rock");
  EXPECT_EQ(tags["comment"], "Live aufgenommen");
  // The audio is whole: one second at 44.1 kHz.
  EXPECT_NE(RunTool({"ffprobe", "-v", "error", "-show_entries", "stream=duration_ts", "-of", "csv=p=0", wav})
                .find("44100"),
            std::string::npos);
}

TEST_F(TagsBatchTest, Id3v1IsLatin1CutToItsFieldsAndOddValuesAreSafe) {
  // 29 ASCII bytes then "ä": the title field of 30 bytes holds all of it in Latin-1.
  const std::string title = std::string(29, 'a') + "ä€x";
  const std::string longComment(10000, 'c');
  const std::string source = MakeSource({"title=" + title, "artist=Ünïcode€", "comment=" + longComment,
                                         "album=tab\there", "track=12", "genre=Synthpop"});
  const test::LBatchRun run = Convert(source, "mp3");
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string mp3 = test::ReadBytes(folder_ + "/out/song.mp3");
  ASSERT_GT(mp3.size(), 128u);
  const std::string tag = mp3.substr(mp3.size() - 128);
  EXPECT_EQ(tag.substr(0, 3), "TAG");
  EXPECT_EQ(tag.substr(3, 30), std::string(29, 'a') + "\xe4");
  EXPECT_EQ(tag.substr(33, 30), std::string("\xdcn\xef" "code?") + std::string(22, '\0'));
  EXPECT_EQ(tag.substr(63, 8), std::string("tab here"));
  EXPECT_EQ(tag.substr(97, 28), std::string(28, 'c'));
  EXPECT_EQ(tag[125], '\0');
  EXPECT_EQ(static_cast<unsigned char>(tag[126]), 12);
  EXPECT_EQ(static_cast<unsigned char>(tag[127]), 147);
  // ID3v2 holds the long comment cut to a whole number of characters, the audio decodes whole.
  std::map<std::string, std::string> tags = ProbeTags(folder_ + "/out/song.mp3");
  EXPECT_EQ(tags["title"], title);
  EXPECT_EQ(tags["comment"].size(), 259u);
  EXPECT_EQ(tags["album"], "tab here");
  const std::string samples = RunTool({"ffprobe", "-v", "error", "-count_packets", "-show_entries",
                                       "stream=nb_read_packets", "-of", "csv=p=0", folder_ + "/out/song.mp3"});
  EXPECT_GE(std::stoi(samples), 38);  // 44100 / 1152 frames, give or take the encoder's padding
}

}  // namespace
}  // namespace klangor
