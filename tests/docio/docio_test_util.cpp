#include "docio_test_util.h"

#include <cmath>
#include <cstdlib>

#include "platform/paths.h"
#include <sys/stat.h>
#include "store/segment_stream.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor::test {

void OpenTest::SetUp() {
  folder_ = TempPath(".open");
  ASSERT_TRUE(EnsureFolder(folder_));
  temporary_ = folder_ + "/tmp";
  ASSERT_TRUE(EnsureFolder(temporary_, 0700));
  settings_ = LSettingsStore(folder_ + "/user.ini", folder_ + "/machine.ini");
  // The shipped shims, as the build puts them next to klangor-batch.
  const char* build = std::getenv("KLANGOR_BUILD_DIR");
  for (const char* shim : {"aacdec", "shndec", "actdec", "amrdec", "aacenc", "amrenc"}) {
    SetComponent(shim, std::string(build != nullptr ? build : ".") + "/apps/klangor-batch/" + shim);
  }
}

void OpenTest::TearDown() { EXPECT_TRUE(TemporaryFolderEmpty()) << "leftovers in " << temporary_; }

LResult OpenTest::Load(const std::string& path, LSoundDocument& document, LProgress* progress) {
  LOpenContext context(settings_, ui_, progress != nullptr ? *progress : silent_);
  context.temporaryFolder = temporary_;
  context.decoderTimeoutMs = decoderTimeoutMs_;
  bool prompt = true;
  return LoadAudioFile(path, prompt, context, document);
}

std::vector<int32_t> OpenTest::LoadSamples(const std::string& path, int32_t* rate, int* channels) {
  auto document = MakeRef<LSoundDocument>();
  EXPECT_EQ(Load(path, *document), LResult::kDone) << path;
  if (rate != nullptr) *rate = document->sound.SampleRate();
  if (channels != nullptr) *channels = document->sound.Channels();
  LRef<LSoundStream> reader = OpenSegmentStream(document->sound);
  return ReadAll(*reader);
}

LResult OpenTest::Save(LRef<LSoundStream> stream, const std::string& path, LProgress* progress, const LTagList& tags) {
  LSaveContext context(settings_, kept_, progress != nullptr ? *progress : silent_);
  context.temporaryFolder = temporary_;
  context.wavCodecFile = Path("WavCodec.wff");
  return SaveAudioFile(std::move(stream), path, false, context, tags);
}

void OpenTest::SetComponent(const std::string& name, const std::string& program) {
  ASSERT_TRUE(settings_.WriteString("Components/" + name, "Path", program));
}

std::string OpenTest::WriteScript(const std::string& name, const std::string& body) {
  const std::string path = Path(name);
  WriteBytes(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

bool OpenTest::TemporaryFolderEmpty() const { return ListFolder(temporary_).empty(); }

std::vector<int16_t> FfmpegSamples(const std::string& path) {
  const std::string raw = RunTool({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le",
                                   "-c:a", "pcm_s16le", "-"});
  std::vector<int16_t> samples(raw.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) | (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
  }
  return samples;
}

void ExpectLikeFfmpeg(const std::vector<int32_t>& ours, const std::vector<int16_t>& ffmpeg, int channels,
                      bool lossless, int frameTolerance, const std::string& what) {
  const auto ourFrames = static_cast<int64_t>(ours.size() / channels);
  const auto theirFrames = static_cast<int64_t>(ffmpeg.size() / channels);
  ASSERT_GT(theirFrames, 0) << what;
  if (lossless) {
    ASSERT_EQ(ourFrames, theirFrames) << what;
    size_t differences = 0;
    for (size_t i = 0; i < ours.size(); ++i) differences += ours[i] != ffmpeg[i] * 16;
    EXPECT_EQ(differences, 0u) << what;
    return;
  }
  EXPECT_LE(std::llabs(ourFrames - theirFrames), frameTolerance) << what << ": " << ourFrames << " against " << theirFrames;
  const size_t common = std::min(ours.size(), ffmpeg.size());
  double sum = 0;
  for (size_t i = 0; i < common; ++i) {
    const double d = ours[i] / 16.0 - ffmpeg[i];
    sum += d * d;
  }
  EXPECT_LT(std::sqrt(sum / std::max<double>(common, 1)), 1.0) << what;
}

}  // namespace klangor::test
