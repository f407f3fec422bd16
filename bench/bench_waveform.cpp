// The waveform's columns (2000 of them, stereo, 44100 Hz) for sounds of 1 minute, 1 hour and
// 10 hours: the whole sound fully zoomed out from the peak files (goal: under 50 ms at 10
// hours), and zooming and scrolling a view in the middle, which must cost the same for every
// length (only the visible columns are computed): a scroll step of a tenth of the width
// zoomed in to the samples and zoomed out to a minute (goal: under 16 ms), and a full
// recomputation after a zoom.

#include <benchmark/benchmark.h>

#include "bench_long_sound.h"
#include "store/wave_columns.h"

namespace klangor::bench {
namespace {

constexpr int32_t kWidth = 2000;

LColumnMap MapOf(int64_t start, int64_t visible) {
  LColumnMap map;
  map.scale = static_cast<double>(kWidth) / static_cast<double>(visible);
  map.origin = static_cast<int64_t>(static_cast<double>(start) * map.scale);
  return map;
}

int32_t Columns(LColumnSnapshot& snapshot, int64_t start, int64_t visible, int32_t first, int32_t end) {
  std::vector<uint8_t> top(kWidth), bottom(kWidth);
  return ComputeColumns(snapshot, MapOf(start, visible),
                        {.split = false, .magnify = false, .visibleFrames = visible, .width = kWidth}, first, end,
                        {top.data(), bottom.data()});
}

void Label(benchmark::State& state) {
  const int64_t minutes = state.range(0);
  state.SetLabel(minutes >= 60 ? std::to_string(minutes / 60) + " h" : std::to_string(minutes) + " min");
}

void BM_WaveFullZoomOut(benchmark::State& state) {
  LColumnSnapshot snapshot(LongStereoSound(state.range(0)));
  const int64_t length = snapshot.Sound().Length();
  for (auto _ : state) benchmark::DoNotOptimize(Columns(snapshot, 0, length, 0, kWidth));
  Label(state);
}
BENCHMARK(BM_WaveFullZoomOut)->Arg(1)->Arg(60)->Arg(600)->Unit(benchmark::kMillisecond);

// One scroll step: the view moves by a tenth of its width and the uncovered columns are
// computed. range(1): frames per column (100 reads samples, 1323 a minute of peak files).
void BM_WaveScrollStep(benchmark::State& state) {
  LColumnSnapshot snapshot(LongStereoSound(state.range(0)));
  const int64_t visible = state.range(1) * kWidth;
  int64_t start = snapshot.Sound().Length() / 2 - visible;
  for (auto _ : state) {
    start += visible / 10;
    benchmark::DoNotOptimize(Columns(snapshot, start, visible, kWidth - kWidth / 10, kWidth));
    if (start > snapshot.Sound().Length() / 2) start = snapshot.Sound().Length() / 2 - visible;
  }
  Label(state);
}
BENCHMARK(BM_WaveScrollStep)->ArgsProduct({{1, 60, 600}, {100, 1323}})->Unit(benchmark::kMillisecond);

// A zoom: every column of a view in the middle computed again.
void BM_WaveZoom(benchmark::State& state) {
  LColumnSnapshot snapshot(LongStereoSound(state.range(0)));
  const int64_t visible = state.range(1) * kWidth;
  const int64_t start = snapshot.Sound().Length() / 2 - visible / 2;
  for (auto _ : state) benchmark::DoNotOptimize(Columns(snapshot, start, visible, 0, kWidth));
  Label(state);
}
BENCHMARK(BM_WaveZoom)->ArgsProduct({{1, 60, 600}, {100, 1323}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace klangor::bench
