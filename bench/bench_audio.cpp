// Throughput of the sample conversions and of the block store's write and read paths.

#include <benchmark/benchmark.h>

#include <vector>

#include "audio/sample_format.h"
#include "store/block_writer.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

void BM_Decode(benchmark::State& state) {
  const auto width = static_cast<LSampleWidth>(state.range(0));
  std::vector<uint8_t> in(8192 * 2 * BytesPerSample(width), 0x35);
  std::vector<int32_t> out(8192 * 2);
  for (auto _ : state) {
    DecodeSamples(width, in.data(), out.data(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * 8192);  // stereo frames
}
BENCHMARK(BM_Decode)->Arg(1)->Arg(2)->Arg(3)->Arg(4);

void BM_Encode(benchmark::State& state) {
  const auto width = static_cast<LSampleWidth>(state.range(0));
  std::vector<int32_t> in(8192 * 2, 12345);
  std::vector<uint8_t> out(in.size() * BytesPerSample(width));
  for (auto _ : state) {
    EncodeSamples(width, in.data(), out.data(), in.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * 8192);
}
BENCHMARK(BM_Encode)->Arg(1)->Arg(2)->Arg(3)->Arg(4);

// One minute of stereo audio written into a block and read back, per iteration.
void BM_BlockWriteRead(benchmark::State& state) {
  std::vector<int32_t> frames(8192 * 2);
  for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int32_t>(i * 37 % 1000000) - 500000;
  const int pieces = 44100 * 60 / 8192;
  for (auto _ : state) {
    LSegmentList list;
    auto writer = MakeRef<LBlockWriter>(44100, list, 2);
    for (int i = 0; i < pieces; ++i) writer->Write(frames.data(), 8192);
    writer->Finish();
    LRef<LSoundStream> reader = OpenSegmentStream(list);
    for (int i = 0; i < pieces; ++i) reader->Read(frames.data(), 8192);
  }
  state.SetItemsProcessed(state.iterations() * pieces * 8192);
}
BENCHMARK(BM_BlockWriteRead)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace klangor
