// The gain, echo, reverb and modulation effects on 10 minutes of stereo 44100 Hz audio. The
// *Stream benchmarks run the effect alone on audio held in memory (one iteration is the whole
// 10 minutes, read in pieces of 8192 frames); the *Document ones go through the block store as
// the editor does. "x_realtime" is how many times faster than real time the effect runs
// (Google Benchmark prints it as a rate, "3.1k/s" meaning 3100 times).
// Goals: echo, reverb, distortion, stereo pan and the envelope 3000; phaser, flanger and
// chorus 500; the FIR filter (telephone, equalizer) 100; the high-pass filter and the noise
// gate 1000; spectral subtraction 100.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "bench_signal.h"
#include "effects/am_radio.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/envelope.h"
#include "effects/equalizer.h"
#include "effects/fir_filter.h"
#include "effects/chorus.h"
#include "effects/flanger.h"
#include "effects/high_pass.h"
#include "effects/noise_gate.h"
#include "effects/phaser.h"
#include "effects/reverb.h"
#include "effects/spectral_subtraction.h"
#include "effects/stereo_pan.h"
#include "effects/stream_effect.h"
#include "effects/telephone.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

using namespace bench;

// Ten minutes held in memory.
LRef<LSoundStream> TenMinutes() { return MakeRef<LLoopStream>(MusicSecond(100000, 300000), kFrames); }

using LMake = std::function<LRef<LSoundStream>(LRef<LSoundStream>)>;

void RunStream(benchmark::State& state, const LMake& make) {
  std::vector<int32_t> buffer(static_cast<size_t>(8192) * kChannels);
  for (auto _ : state) {
    LRef<LSoundStream> stream = make(TenMinutes());
    for (int32_t done = 0; done < kFrames; done += 8192) {
      stream->Read(buffer.data(), std::min(8192, kFrames - done));
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  SetRealtime(state);
}

LMake Task(LEffectTask task) {
  return [task](LRef<LSoundStream> input) { return task.processor->MakeStream(std::move(input)); };
}

// Reading the source alone, for comparison.
void BM_EffectSourceStream(benchmark::State& state) {
  RunStream(state, [](LRef<LSoundStream> input) { return input; });
}
void BM_EchoStream(benchmark::State& state) { RunStream(state, Task(MakeEchoTask(800, 50))); }
void BM_ReverbStream(benchmark::State& state) { RunStream(state, Task(MakeReverbTask(100, 50))); }
void BM_DistortionStream(benchmark::State& state) { RunStream(state, Task(MakeDistortionTask(0.5, -3))); }
void BM_StereoPanStream(benchmark::State& state) { RunStream(state, Task(MakeStereoPanTask(30))); }
void BM_EnvelopeStream(benchmark::State& state) {
  RunStream(state, [](LRef<LSoundStream> input) {
    return LRef<LSoundStream>(MakeRef<LEnvelopeStream>(std::move(input), FadeInEnvelope(), kFrames));
  });
}
void BM_PhaserStream(benchmark::State& state) { RunStream(state, Task(MakePhaserTask(5, 100))); }
void BM_FlangerStream(benchmark::State& state) { RunStream(state, Task(MakeFlangerTask({5, 0.5, 50, 75}))); }
void BM_ChorusStream(benchmark::State& state) { RunStream(state, Task(MakeChorusTask({40, 0.5, 5, 70}))); }
void BM_AmRadioStream(benchmark::State& state) { RunStream(state, Task(MakeAmRadioTask())); }
void BM_TelephoneStream(benchmark::State& state) { RunStream(state, Task(MakeTelephoneTask())); }
void BM_TelephoneDirectStream(benchmark::State& state) {
  RunStream(state, [](LRef<LSoundStream> input) {
    return LTelephoneProcessor(LFirMethod::kDirect).MakeStream(std::move(input));
  });
}
void BM_HighPassStream(benchmark::State& state) { RunStream(state, Task(MakeHighPassTask(250))); }
void BM_NoiseGateStream(benchmark::State& state) { RunStream(state, Task(MakeNoiseGateTask(-30))); }
void BM_SpectralSubtractionStream(benchmark::State& state) {
  LNoiseProfile profile{SpectralSize(kRate), kChannels, {}};
  for (int c = 0; c < kChannels; ++c) profile.noise.emplace_back(profile.size / 2, 2000.0);
  RunStream(state, Task({"", std::make_shared<LSpectralSubtractionProcessor>(profile)}));
}

// The equalizer with a curve that boosts the bass and the treble and cuts the middle, on loud
// music; "fast_blocks" and "direct_blocks" count how the FIR blocks were computed (both give
// the same integers: the fast convolution is used only where its error bound is met).
void RunEqualizer(benchmark::State& state, LFirMethod method) {
  const LEqualizerCurve curve = {{0, 230}, {40, 200}, {90, 128}, {150, 60}, {200, 128}, {230, 220}, {255, 255}};
  std::vector<int32_t> buffer(static_cast<size_t>(8192) * kChannels);
  int64_t fast = 0;
  int64_t direct = 0;
  for (auto _ : state) {
    auto stream = MakeRef<LFirStream>(TenMinutes(), DesignFir(EqualizerMask(curve, kRate)), method);
    for (int32_t done = 0; done < kFrames; done += 8192) {
      stream->Read(buffer.data(), std::min(8192, kFrames - done));
      benchmark::DoNotOptimize(buffer.data());
    }
    fast = stream->FastBlocks();
    direct = stream->DirectBlocks();
  }
  SetRealtime(state);
  state.counters["fast_blocks"] = static_cast<double>(fast);
  state.counters["direct_blocks"] = static_cast<double>(direct);
}
void BM_EqualizerStream(benchmark::State& state) { RunEqualizer(state, LFirMethod::kFastest); }
void BM_EqualizerDirectStream(benchmark::State& state) { RunEqualizer(state, LFirMethod::kDirect); }

BENCHMARK(BM_EffectSourceStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EchoStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReverbStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DistortionStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StereoPanStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EnvelopeStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PhaserStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FlangerStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChorusStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AmRadioStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HighPassStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NoiseGateStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpectralSubtractionStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EqualizerStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EqualizerDirectStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TelephoneStream)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_TelephoneDirectStream)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The same 10 minutes in the block store, and echo and reverb applied to the whole document.
const LSegmentList& TenMinuteSound() {
  static const LSegmentList sound = RepeatedInStore(MusicSecond(100000, 300000));
  return sound;
}

void RunDocument(benchmark::State& state, const LEffectTask& task) {
  TenMinuteSound();
  LSilentProgress progress;
  for (auto _ : state) {
    auto document = MakeRef<LSoundDocument>();
    document->sound = TenMinuteSound();
    document->SetSelection(0, document->Length(), 0);
    if (RunStreamEffect(*document, task, progress) != LResult::kDone) state.SkipWithError("failed");
  }
  SetRealtime(state);
}

void BM_EchoDocument(benchmark::State& state) { RunDocument(state, MakeEchoTask(800, 50)); }
void BM_ReverbDocument(benchmark::State& state) { RunDocument(state, MakeReverbTask(100, 50)); }
BENCHMARK(BM_EchoDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK(BM_ReverbDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

}  // namespace
}  // namespace klangor
