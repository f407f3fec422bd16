// MP3 decoding: throughput and seeking, on the MP3 file named by KLANGOR_BENCH_MP3
// (scripts/bench.sh makes a 60-minute 192 kbit/s joint-stereo one, and times the whole-file
// conversion against mpg123 and ffmpeg); not registered without it.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "formats/mp3_stream.h"

namespace klangor {
namespace {

// One minute of audio from the start of the file, per iteration.
void BM_Mp3DecodeMinute(benchmark::State& state, const std::string& path) {
  LRef<LSoundStream> stream = OpenMp3File(path);
  const int32_t frames = stream->SampleRate() * 60;
  std::vector<int32_t> buffer(8192 * static_cast<size_t>(stream->Channels()));
  for (auto _ : state) {
    stream->Seek(0);
    for (int32_t done = 0; done < frames; done += 8192) stream->Read(buffer.data(), 8192);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetItemsProcessed(state.iterations() * frames);  // frames: divide by the rate for x real time
}

// A seek to the middle of the file and the first frame read there.
void BM_Mp3SeekToMiddle(benchmark::State& state, const std::string& path) {
  LRef<LSoundStream> stream = OpenMp3File(path);
  std::vector<int32_t> buffer(1152 * static_cast<size_t>(stream->Channels()));
  int32_t offset = 0;
  for (auto _ : state) {
    stream->Seek(stream->Length() / 2 + offset);
    stream->Read(buffer.data(), 1152);
    offset = (offset + 4999) % 100000;  // not the same frame every time
    benchmark::DoNotOptimize(buffer.data());
  }
}

const bool kRegistered = [] {
  const char* path = std::getenv("KLANGOR_BENCH_MP3");
  if (path == nullptr || *path == '\0') return false;
  benchmark::RegisterBenchmark("BM_Mp3DecodeMinute", BM_Mp3DecodeMinute, std::string(path))
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Mp3SeekToMiddle", BM_Mp3SeekToMiddle, std::string(path))
      ->Unit(benchmark::kMicrosecond);
  return true;
}();

}  // namespace
}  // namespace klangor
