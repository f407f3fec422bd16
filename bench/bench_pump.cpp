// The pump adds no copy beyond its one buffer: an hour of stereo audio pumped from a document
// through a neutral filter into a new block costs about as much as loading it from a WAV file.

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "audio/progress.h"
#include "docio/load_save.h"
#include "effects/stream_effect.h"
#include "formats/wav_file.h"
#include "store/block_store.h"
#include "store/sound_document.h"

namespace klangor {
namespace {

constexpr int32_t kHourFrames = 3600 * 44100;

// A filter that passes its input through unchanged.
class LPassFilter final : public LSoundFilter {
 public:
  explicit LPassFilter(LRef<LSoundStream> input) : LSoundFilter(std::move(input)) {}
  void Read(int32_t* frames, int32_t frameCount) override { Input().Read(frames, frameCount); }
};

class LPassProcessor final : public LEffectProcessor {
 public:
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override {
    return MakeRef<LPassFilter>(std::move(input));
  }
};

const std::string& HourFile() {
  static const std::string path = [] {
    auto folder = std::filesystem::temp_directory_path() / "klangor-bench";
    std::filesystem::create_directories(folder);
    LBlockStore::Instance().SetWorkingFolder(folder.string());
    std::string file = (folder / "hour.wav").string();
    if (!std::filesystem::exists(file)) {
      LRef<LSoundSink> sink = CreatePcmWaveSink(file, 2, 2, 44100, 0);
      std::vector<int32_t> piece(2 * 8192);
      for (int32_t done = 0; done < kHourFrames; done += 8192) {
        for (int i = 0; i < 8192; ++i) {
          piece[2 * i] = piece[2 * i + 1] = static_cast<int32_t>(200000 * std::sin((done + i) * 0.0627));
        }
        sink->Write(piece.data(), 8192);
      }
      sink->Finish();
    }
    return file;
  }();
  return path;
}

void BM_LoadHourFromWav(benchmark::State& state) {
  LSilentProgress progress;
  for (auto _ : state) {
    LSegmentList list;
    LRef<LSoundStream> stream = OpenWaveFile(HourFile());
    LoadStream(stream, HourFile(), list, progress);
    benchmark::DoNotOptimize(list.Length());
  }
}
BENCHMARK(BM_LoadHourFromWav)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_PumpHourThroughNeutralFilter(benchmark::State& state) {
  LSilentProgress progress;
  auto document = MakeRef<LSoundDocument>();
  {
    LRef<LSoundStream> stream = OpenWaveFile(HourFile());
    LoadStream(stream, HourFile(), document->sound, progress);
  }
  const LEffectTask task{"Neutral", std::make_shared<LPassProcessor>()};
  for (auto _ : state) {
    document->SetSelection(0, document->Length(), 0);
    RunStreamEffect(*document, task, progress);
  }
}
BENCHMARK(BM_PumpHourThroughNeutralFilter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
}  // namespace klangor
