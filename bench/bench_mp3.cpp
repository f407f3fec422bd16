// MP3 decoding: throughput, seeking, and a whole file decoded into a WAV file. They run on the
// MP3 file named by KLANGOR_BENCH_MP3 (scripts/bench.sh makes a 60-minute 192 kbit/s
// joint-stereo one) and are not registered without it.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "effects/processing_pump.h"
#include "formats/mp3_stream.h"
#include "formats/wav_file.h"
#include "formats/wave_format.h"

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

// The whole file through the processing pump (with its limiter) into a 16-bit WAV file: the
// work of a conversion to WAV without the document's block store in between.
void BM_Mp3FileToWav(benchmark::State& state, const std::string& path) {
  const std::string target = path + ".bench.wav";
  for (auto _ : state) {
    LRef<LSoundStream> stream = OpenMp3File(path);
    LRef<LSoundSink> sink = CreateWaveFile(target, MakePcm16Format(stream->SampleRate(), stream->Channels()));
    LSilentProgress progress;
    if (ProcessingPump("", stream, *sink, progress) != LResult::kDone) state.SkipWithError("the pump failed");
    sink->Finish();
  }
  std::remove(target.c_str());
}

const bool kRegistered = [] {
  const char* path = std::getenv("KLANGOR_BENCH_MP3");
  if (path == nullptr || *path == '\0') return false;
  benchmark::RegisterBenchmark("BM_Mp3DecodeMinute", BM_Mp3DecodeMinute, std::string(path))
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Mp3SeekToMiddle", BM_Mp3SeekToMiddle, std::string(path))
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("BM_Mp3FileToWav", BM_Mp3FileToWav, std::string(path))
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  return true;
}();

}  // namespace
}  // namespace klangor
