// The stream contract (support/stream_contract.h) over the file streams: every writable row of
// the format table (a file written by its own sink from test audio), and an MP3 file from lame.

#include "support/stream_contract.h"

#include <memory>
#include <string>
#include <vector>

#include "formats/format_table.h"
#include "mp3_test_files.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using test::LStreamCase;
using test::StreamContractTest;

constexpr int32_t kFrames = 20000;

// Opens `path` with `entry`, first making the file with `write` when it does not exist yet.
LStreamCase FileCase(const LFormatEntry& entry, std::function<void(const std::string&)> write) {
  auto path = std::make_shared<std::string>();
  return {std::string("Format_") + entry.extension, [&entry, path, write] {
            if (path->empty()) {
              *path = test::TempPath(std::string(".") + entry.extension);
              write(*path);
            }
            return entry.open(*path, LFormatSettings{});
          }};
}

std::vector<LStreamCase> Cases() {
  std::vector<LStreamCase> cases;
  for (const LFormatEntry& entry : FormatTable()) {
    if (entry.create == nullptr) continue;
    LStreamCase c = FileCase(entry, [&entry](const std::string& path) {
      const int channels = 2;
      LRef<LSoundSink> sink = entry.create(path, 8000, channels, LFormatSettings{});
      test::LFunctionStream audio(8000, channels, kFrames + 500, [](int64_t f, int ch) {
        return static_cast<int32_t>(((f * 7919 + ch * 3301) % 20000 - 10000) * 16);
      });
      std::vector<int32_t> frames(static_cast<size_t>(kFrames + 500) * channels);
      audio.Read(frames.data(), kFrames + 500);
      sink->Write(frames.data(), kFrames + 500);
      sink->Finish();
      EXPECT_FALSE(sink->Failed()) << path;
    });
    if (std::string(entry.extension) == "vox") {
      c.seekKeepsState = "a VOX seek into the file keeps the ADPCM decoder's step and predictor";
    }
    cases.push_back(std::move(c));
  }
  if (test::HaveProgram("lame")) {
    cases.push_back(FileCase(*FindFormat("mp3"), [](const std::string& path) {
      const std::string mp3 = mp3test::Encode("contract", mp3test::LSignal::kMusic, 44100, 2, 1.0, {"-b", "128"});
      test::WriteBytes(path, test::ReadBytes(mp3));
    }));
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Formats, StreamContractTest, ::testing::ValuesIn(Cases()), test::StreamCaseName);

}  // namespace
}  // namespace klangor
