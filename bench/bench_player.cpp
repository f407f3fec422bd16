// The player: start (open to the first buffer played) and stop times, its CPU use while it
// plays 44.1 kHz stereo in real time, and how fast it plays a document into the virtual
// device when nothing paces it.

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <thread>

#include "bench_signal.h"
#include "device/output_devices.h"
#include "player/notifier.h"
#include "player/wave_player.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

using Clock = std::chrono::steady_clock;

// A minute of the music signal as a document sound in the block store.
const LSegmentList& Document() {
  static LSegmentList list = [] {
    LBlockStore::Instance().SetWorkingFolder((std::filesystem::temp_directory_path() / "klangor-bench").string());
    LSegmentList sound;
    auto writer = MakeRef<LBlockWriter>(bench::kRate, sound, bench::kChannels);
    const std::vector<int32_t> second = bench::MusicSecond(100000, 300000);
    for (int32_t s = 0; s < 60; ++s) writer->Write(second.data(), bench::kRate);
    writer->Finish();
    return sound;
  }();
  return list;
}

LVirtualOutputOptions Paced(LPacing pacing) {
  LVirtualOutputOptions options;
  options.pacing = pacing;
  return options;
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_PlayerStart(benchmark::State& state) {
  LRunLoop loop;
  LVirtualOutputDevices devices(Paced(LPacing::kAsFastAsPossible));
  LWavePlayer player(loop, devices);
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    player.Open(OpenSegmentStream(Document()));
    while (player.FramesPlayed() == 0) std::this_thread::yield();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    player.Close();
  }
}
BENCHMARK(BM_PlayerStart)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PlayerStop(benchmark::State& state) {
  LRunLoop loop;
  LVirtualOutputDevices devices(Paced(LPacing::kRealTime));
  LWavePlayer player(loop, devices);
  for (auto _ : state) {
    player.Open(OpenSegmentStream(Document()));
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(50));
    const Clock::time_point start = Clock::now();
    player.Close();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}
BENCHMARK(BM_PlayerStop)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The whole process's CPU time (feeder, watcher, device thread, notifications) over the wall
// time of real-time playback.
void BM_PlayerCpuAtRealTime(benchmark::State& state) {
  LRunLoop loop;
  LVirtualOutputDevices devices(Paced(LPacing::kRealTime));
  LWavePlayer player(loop, devices);
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    player.Open(OpenSegmentStream(Document()));
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(500));  // past the start
    const double cpuStart = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    loop.RunUntil([] { return false; }, std::chrono::seconds(4));
    cpu += ProcessCpuSeconds() - cpuStart;
    wall += std::chrono::duration<double>(Clock::now() - start).count();
    player.Close();
  }
  state.counters["cpu_percent"] = 100 * cpu / wall;
}
BENCHMARK(BM_PlayerCpuAtRealTime)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PlayerUnpaced(benchmark::State& state) {
  LRunLoop loop;
  LVirtualOutputDevices devices(Paced(LPacing::kAsFastAsPossible));
  LWavePlayer player(loop, devices);
  for (auto _ : state) {
    player.Open(OpenSegmentStream(Document()));
    loop.RunUntil([&player] { return !player.IsOpen(); }, std::chrono::seconds(60));
  }
  bench::SetRealtime(state, 60);
}
BENCHMARK(BM_PlayerUnpaced)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace klangor
