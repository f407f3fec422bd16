// The dynamics effects on a 10-minute stereo 44100 Hz sound, read from and written to the
// block store as the editor does it. The "x_realtime" counter is how many times faster than
// real time the effect runs (Google Benchmark prints it as a rate, "2.3k/s" meaning 2300
// times). Goals: compressor and limiter 1500, automatic volume control 300. The *Stream
// benchmarks measure the arithmetic alone, on audio held in memory.

#include <benchmark/benchmark.h>

#include <vector>

#include "bench_signal.h"
#include "audio/pump.h"
#include "dsp/limiter.h"
#include "dsp/processing_pump.h"
#include "effects/auto_volume.h"
#include "effects/compressor.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

using namespace bench;

constexpr double kTwoToOne = 0.9440608762859234;

// Peaks above 16-bit full scale, so that every dynamics effect has work to do.
std::vector<int32_t> OneSecond() { return MusicSecond(60000, 700000); }

// The 10-minute sound, written into the block store once (before the first timing).
const LSegmentList& TenMinutes() {
  static const LSegmentList sound = RepeatedInStore(OneSecond());
  return sound;
}

LRef<LSoundDocument> WholeSound() {
  auto document = MakeRef<LSoundDocument>();
  document->sound = TenMinutes();
  document->SetSelection(0, document->Length(), 0);
  return document;
}

void BM_CompressorDocument(benchmark::State& state) {
  TenMinutes();
  LSilentProgress progress;
  for (auto _ : state) {
    LRef<LSoundDocument> document = WholeSound();
    if (RunCompressor(*document, -20, kTwoToOne, 3, progress) != LResult::kDone) state.SkipWithError("failed");
  }
  SetRealtime(state);
}
BENCHMARK(BM_CompressorDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

void BM_LimiterDocument(benchmark::State& state) {
  TenMinutes();
  LSilentProgress progress;
  for (auto _ : state) {
    LSegmentList result;
    auto writer = MakeRef<LBlockWriter>(kRate, result, kChannels);
    // The document reader's full scale is above 16-bit full scale: the pump limits it.
    if (ProcessingPump("Limit", OpenSegmentStream(TenMinutes()), *writer, progress) != LResult::kDone) {
      state.SkipWithError("failed");
    }
    writer->Finish();
  }
  SetRealtime(state);
}
BENCHMARK(BM_LimiterDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

void BM_AutoVolumeDocument(benchmark::State& state) {
  TenMinutes();
  LSilentProgress progress;
  for (auto _ : state) {
    LRef<LSoundDocument> document = WholeSound();
    if (RunAutoVolume(*document, progress) != LResult::kDone) state.SkipWithError("failed");
  }
  SetRealtime(state);
}
BENCHMARK(BM_AutoVolumeDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// The plain copy from block to block, for comparison: the cost of the store alone.
void BM_CopyDocument(benchmark::State& state) {
  TenMinutes();
  LSilentProgress progress;
  for (auto _ : state) {
    LSegmentList result;
    auto writer = MakeRef<LBlockWriter>(kRate, result, kChannels);
    LRef<LSoundStream> reader = OpenSegmentStream(TenMinutes());
    CopyFrames(*reader, *writer, reader->Length(), progress, 0, reader->Length());
    writer->Finish();
  }
  SetRealtime(state);
}
BENCHMARK(BM_CopyDocument)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

LRef<LSoundStream> Endless() { return MakeRef<LLoopStream>(OneSecond(), INT32_MAX); }

void StreamThroughput(benchmark::State& state, LRef<LSoundStream> stream) {
  std::vector<int32_t> buffer(static_cast<size_t>(8192) * kChannels);
  for (auto _ : state) {
    stream->Read(buffer.data(), 8192);
    benchmark::DoNotOptimize(buffer.data());
  }
  SetRealtime(state, 8192.0 / kRate);
}

void BM_CompressorStream(benchmark::State& state) {
  StreamThroughput(state, MakeRef<LCompressorStream>(Endless(), -20, kTwoToOne));
}
BENCHMARK(BM_CompressorStream);

void BM_LimiterStream(benchmark::State& state) {
  StreamThroughput(state, MakeLimiter(Endless(), kFullScale16));
}
BENCHMARK(BM_LimiterStream);

void BM_SourceStream(benchmark::State& state) { StreamThroughput(state, Endless()); }
BENCHMARK(BM_SourceStream);

}  // namespace
}  // namespace klangor
