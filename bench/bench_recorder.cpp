// The recorder: CPU time per second of 48 kHz stereo audio (reported as the share of one
// core that recording in real time takes), and the time from a buffer's arrival to its
// levels reaching the listener on the user-interface thread.

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

#include "recorder/recorder.h"

namespace klangor {
namespace {

using namespace std::chrono_literals;

class LNoise final : public LSoundStream {
 public:
  LNoise(int32_t frames) : LSoundStream(48000, 524272, 2), length_(frames) {}
  void Read(int32_t* frames, int32_t count) override {
    for (int32_t i = 0; i < count * 2; ++i) {
      seed_ = seed_ * 1664525u + 1013904223u;
      frames[i] = static_cast<int32_t>(seed_ >> 16) - 32768;
    }
    position_ += count;
  }
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return length_; }
  void Seek(int32_t frame) override { position_ = frame; }

 private:
  int32_t length_;
  int32_t position_ = 0;
  uint32_t seed_ = 1;
};

class LCountingSink final : public LSoundSink {
 public:
  LCountingSink() : LSoundSink(48000, 2) {}
  void Write(const int32_t*, int32_t frames) override { AddFramesWritten(frames); }
  void Seek(int32_t frame) override { SetFramesWritten(frame); }
};

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct LLatency final : LRecorderListener {
  const LRecorder* recorder = nullptr;
  double sumMs = 0, maxMs = 0;
  int count = 0;
  void Levels(const LLevelRecord&, uint32_t) override {
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                                recorder->LevelsArrival()).count();
    sumMs += ms;
    maxMs = std::max(maxMs, ms);
    ++count;
  }
};

// 60 s of audio as fast as possible, sound-activated start and trim on (the dialog's default).
void BM_RecorderCpuShareAt48kStereo(benchmark::State& state) {
  constexpr int32_t kSeconds = 60;
  double cpu = 0;
  for (auto _ : state) {
    LRunLoop loop;
    LVirtualInputOptions input;
    input.pacing = LPacing::kAsFastAsPossible;
    input.source = [] { return LRef<LSoundStream>(MakeRef<LNoise>(kSeconds * 48000)); };
    LVirtualInputDevices devices(input);
    LRecorder recorder(loop, devices);
    recorder.SetSink(MakeRef<LCountingSink>());
    const double before = ThreadCpuSeconds();
    recorder.Start(0, -24, 216000000);
    loop.RunUntil([&] { return !recorder.IsRunning(); }, 60s);
    cpu += ThreadCpuSeconds() - before;
  }
  state.counters["core_percent_realtime"] = 100.0 * cpu / (static_cast<double>(state.iterations()) * kSeconds);
}
BENCHMARK(BM_RecorderCpuShareAt48kStereo)->Unit(benchmark::kMillisecond)->Iterations(3);

// 3 s in real time: buffer arrival to the listener's Levels call.
void BM_RecorderArrivalToMeter(benchmark::State& state) {
  LLatency latency;
  for (auto _ : state) {
    LRunLoop loop;
    LVirtualInputOptions input;
    input.source = [] { return LRef<LSoundStream>(MakeRef<LNoise>(3 * 48000)); };
    LVirtualInputDevices devices(input);
    LRecorder recorder(loop, devices);
    latency.recorder = &recorder;
    recorder.SetListener(&latency, 0);
    recorder.SetSink(MakeRef<LCountingSink>());
    recorder.Start(0, -127, 216000000);
    while (recorder.IsRunning()) loop.RunPending(100ms);
  }
  state.counters["mean_ms"] = latency.sumMs / std::max(latency.count, 1);
  state.counters["max_ms"] = latency.maxMs;
}
BENCHMARK(BM_RecorderArrivalToMeter)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace klangor
