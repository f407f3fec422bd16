// The dynamics effects on a 10-minute stereo 44100 Hz sound, read from and written to the
// block store as the editor does it. The "x_realtime" counter is how many times faster than
// real time the effect runs (Google Benchmark prints it as a rate, "2.3k/s" meaning 2300
// times). Goals: compressor and limiter 1500, automatic volume control 300. The *Stream
// benchmarks measure the arithmetic alone, on audio held in memory.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <limits>
#include <vector>

#include "audio/sample_format.h"
#include "effects/auto_volume.h"
#include "effects/compressor.h"
#include "effects/limiter.h"
#include "effects/processing_pump.h"
#include "store/block_store.h"
#include "store/block_writer.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

constexpr int32_t kRate = 44100;
constexpr int kChannels = 2;
constexpr double kSeconds = 600;
constexpr double kTwoToOne = 0.9440608762859234;

// One second of music-like stereo audio: two tones whose level swings between quiet and
// peaks above 16-bit full scale, so every effect has work to do.
std::vector<int32_t> OneSecond() {
  std::vector<int32_t> samples(static_cast<size_t>(kRate) * kChannels);
  for (int32_t i = 0; i < kRate; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double level = 60000 + 700000 * (0.5 + 0.5 * std::sin(2 * 3.14159265358979 * 1.5 * t));
    samples[static_cast<size_t>(2 * i)] = static_cast<int32_t>(level * std::sin(2 * 3.14159265358979 * 220 * t));
    samples[static_cast<size_t>(2 * i + 1)] = static_cast<int32_t>(level * std::sin(2 * 3.14159265358979 * 330 * t));
  }
  return samples;
}

// The 10-minute sound, written into the block store once (before the first timing).
const LSegmentList& TenMinutes() {
  static const LSegmentList sound = [] {
    const std::string folder = (std::filesystem::temp_directory_path() / "klangor-bench").string();
    LBlockStore::Instance().SetWorkingFolder(folder);
    const std::vector<int32_t> second = OneSecond();
    LSegmentList list;
    auto writer = MakeRef<LBlockWriter>(kRate, list, kChannels);
    for (int s = 0; s < static_cast<int>(kSeconds); ++s) writer->Write(second.data(), kRate);
    writer->Finish();
    return list;
  }();
  return sound;
}

LRef<LSoundDocument> WholeSound() {
  auto document = MakeRef<LSoundDocument>();
  document->sound = TenMinutes();
  document->SetSelection(0, document->Length(), 0);
  return document;
}

void SetRealtime(benchmark::State& state) {
  state.counters["x_realtime"] = benchmark::Counter(kSeconds, benchmark::Counter::kIsIterationInvariantRate);
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

// A stream that repeats one second of audio held in memory.
class LLoopStream final : public LSoundStream {
 public:
  LLoopStream() : LSoundStream(kRate, kDocumentFullScale, kChannels), second_(OneSecond()) {}
  void Read(int32_t* frames, int32_t frameCount) override {
    while (frameCount > 0) {
      const int32_t offset = position_ % kRate;
      const int32_t n = std::min(frameCount, kRate - offset);
      std::memcpy(frames, second_.data() + static_cast<size_t>(offset) * kChannels,
                  static_cast<size_t>(n) * kChannels * sizeof(int32_t));
      frames += static_cast<size_t>(n) * kChannels;
      frameCount -= n;
      position_ += n;
    }
  }
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return std::numeric_limits<int32_t>::max(); }
  void Seek(int32_t frame) override { position_ = std::max(frame, 0); }

 private:
  std::vector<int32_t> second_;
  int32_t position_ = 0;
};

void StreamThroughput(benchmark::State& state, LRef<LSoundStream> stream) {
  std::vector<int32_t> buffer(static_cast<size_t>(8192) * kChannels);
  for (auto _ : state) {
    stream->Read(buffer.data(), 8192);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.counters["x_realtime"] =
      benchmark::Counter(8192.0 / kRate, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_CompressorStream(benchmark::State& state) {
  StreamThroughput(state, MakeRef<LCompressorStream>(MakeRef<LLoopStream>(), -20, kTwoToOne));
}
BENCHMARK(BM_CompressorStream);

void BM_LimiterStream(benchmark::State& state) {
  StreamThroughput(state, MakeLimiter(MakeRef<LLoopStream>(), kFullScale16));
}
BENCHMARK(BM_LimiterStream);

void BM_SourceStream(benchmark::State& state) { StreamThroughput(state, MakeRef<LLoopStream>()); }
BENCHMARK(BM_SourceStream);

}  // namespace
}  // namespace klangor
