// Mutated inputs for the FFmpeg reader, the compressed WAV reader and the ".dct" unwrapper:
// every one opens or fails cleanly, and reads end (slow: a few thousand inputs each).

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "formats/dct_file.h"
#include "formats/ffmpeg_file.h"
#include "formats/wav_file.h"
#include "platform/file.h"
#include "support/test_env.h"

namespace klangor {
namespace {

// Flips, overwrites, cuts and duplicates bytes of `seed`.
std::string Mutate(const std::string& seed, std::mt19937& random) {
  std::string bytes = seed;
  const int edits = 1 + static_cast<int>(random() % 8);
  for (int i = 0; i < edits && !bytes.empty(); ++i) {
    const size_t at = random() % bytes.size();
    switch (random() % 5) {
      case 0: bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8))); break;
      case 1: bytes[at] = static_cast<char>(random()); break;
      case 2: bytes.resize(at); break;
      case 3: bytes.insert(at, bytes.substr(at, random() % 64)); break;
      default: bytes[at] = static_cast<char>(0xFF); break;
    }
  }
  return bytes;
}

// Reads at most a second of the stream in pieces, with a seek back on the way.
void ReadSome(LSoundStream& stream) {
  std::vector<int32_t> buffer(static_cast<size_t>(4096) * stream.Channels());
  for (int piece = 0; piece < 12; ++piece) {
    stream.Read(buffer.data(), 4096);
    if (piece == 6) stream.Seek(1000);
  }
  EXPECT_GE(stream.Length(), 0);
}

std::string MakeInput(const std::vector<std::string>& options, const std::string& name) {
  const std::string source = test::TempPath(".wav");
  test::RunTool({"sox", "-V1", "-R", "-n", "-b", "16", "-c", "2", "-r", "22050", source, "synth", "0.4", "sine",
                 "440", "sine", "990"});
  const std::string path = test::TempPath(name);
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", source};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(path);
  test::RunTool(argv);
  return test::ReadBytes(path);
}

TEST(FfmpegFuzz, MutatedMediaFilesOpenOrFailCleanly) {
  const std::vector<std::string> seeds = {
      MakeInput({"-c:a", "aac"}, ".m4a"),      MakeInput({"-c:a", "libvorbis"}, ".ogg"),
      MakeInput({"-c:a", "wmav2"}, ".wma"),    MakeInput({"-c:a", "flac"}, ".mka"),
      MakeInput({"-c:a", "mp2"}, ".mp2"),
  };
  std::mt19937 random(1234);
  const std::string path = test::TempPath(".media");
  for (int round = 0; round < 2500; ++round) {
    test::WriteBytes(path, Mutate(seeds[round % seeds.size()], random));
    LRef<LSoundStream> stream = OpenFfmpegFile(path);
    if (stream->Usable()) ReadSome(*stream);
  }
}

TEST(FfmpegFuzz, MutatedCompressedWaveFilesOpenOrFailCleanly) {
  const std::vector<std::string> seeds = {
      MakeInput({"-c:a", "adpcm_ima_wav"}, ".wav"), MakeInput({"-c:a", "adpcm_ms"}, ".wav"),
      MakeInput({"-c:a", "gsm_ms", "-ar", "8000", "-ac", "1"}, ".wav"), MakeInput({"-c:a", "libmp3lame"}, ".wav"),
      MakeInput({"-c:a", "pcm_alaw"}, ".wav"),
  };
  std::mt19937 random(99);
  const std::string path = test::TempPath(".wav");
  for (int round = 0; round < 2500; ++round) {
    test::WriteBytes(path, Mutate(seeds[round % seeds.size()], random));
    LRef<LSoundStream> stream = OpenWaveFile(path);
    if (stream->Usable()) ReadSome(*stream);
  }
}

TEST(FfmpegFuzz, MutatedDictationContainersUnwrapOrFailCleanly) {
  // A version 1 container around a small WAV file.
  const std::string wave = MakeInput({"-c:a", "pcm_s16le"}, ".wav");
  std::string body = std::string(4 + 8, '\0') + std::string(4, '\0');
  for (int i = 0; i < 11; ++i) body += std::string(1, '\2') + "ab";
  body += '\0';
  body += test::Le32(0);
  body += '\1';
  body += test::Le32(static_cast<uint32_t>(wave.size()));
  body += wave;
  const std::string seed = test::Le16(1) + test::Le32(static_cast<uint32_t>(6 + body.size())) + body;
  std::mt19937 random(7);
  const std::string path = test::TempPath(".dct");
  const std::string out = test::TempPath(".out");
  LSilentProgress progress;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = Mutate(seed, random);
    test::WriteBytes(path, bytes);
    LFile output = LFile::Open(out, LFileMode::kCreateAlways);
    const LDctUnwrap unwrap = UnwrapDctFile(path, output, progress);
    EXPECT_LE(output.Size(), static_cast<int64_t>(bytes.size()));
    if (unwrap.result == LResult::kDone) {
      LRef<LSoundStream> stream = OpenWaveFile(out);
      if (stream->Usable()) ReadSome(*stream);
    }
  }
}

}  // namespace
}  // namespace klangor
