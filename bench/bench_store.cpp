// Edits cost time in proportion to the number of segments, not to the length of the sound.
// Arguments: segments, hours of stereo audio at 44100 Hz.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "store/block_writer.h"
#include "store/segment_list.h"

namespace klangor {
namespace {

// A sound of `hours` split into `segments` pieces of one small block (the edits never read
// the audio, so the block need not hold it).
LSegmentList LongSound(int segments, int hours) {
  static bool folderSet = [] {
    std::string folder = (std::filesystem::temp_directory_path() / "klangor-bench").string();
    return LBlockStore::Instance().SetWorkingFolder(folder);
  }();
  (void)folderSet;
  LSegmentList source(44100, 2);
  {
    auto writer = MakeRef<LBlockWriter>(44100, source, 2);
    std::vector<int32_t> frames(2 * 1024, 1);
    writer->Write(frames.data(), 1024);
  }
  const uint16_t block = source.Segments()[0].Block();
  const int64_t total = int64_t{hours} * 3600 * 44100;
  LSegmentList sound(44100, 2);
  for (int i = 0; i < segments; ++i) {
    LBlockStore::Instance().AddReference(block);
    sound.Append(LSegment::AdoptBlock(block, 0, static_cast<int32_t>(total / segments)));
  }
  return sound;
}

void BM_DeleteInsert(benchmark::State& state) {
  LSegmentList sound = LongSound(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int32_t middle = sound.Length() / 2;
  LSegmentList piece;
  for (auto _ : state) {
    sound.CutRange(middle - 44100 * 60, middle + 44100 * 60, piece);
    sound.Insert(middle - 44100 * 60, piece);
  }
  state.SetLabel(std::to_string(state.range(1)) + " h");
}
BENCHMARK(BM_DeleteInsert)->Args({10, 1})->Args({10, 10})->Args({1000, 1})->Args({1000, 10})->Args({10000, 10});

void BM_Extract(benchmark::State& state) {
  LSegmentList sound = LongSound(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  LSegmentList piece;
  for (auto _ : state) {
    sound.ExtractRange(sound.Length() / 3, sound.Length() / 3 * 2, piece);
    benchmark::DoNotOptimize(piece);
  }
  state.SetLabel(std::to_string(state.range(1)) + " h");
}
BENCHMARK(BM_Extract)->Args({10, 1})->Args({10, 10})->Args({1000, 1})->Args({1000, 10});

}  // namespace
}  // namespace klangor
