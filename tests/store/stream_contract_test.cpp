// The stream contract (support/stream_contract.h) over the segment stream: a list of several
// segments, silence and raised gains.

#include "support/stream_contract.h"

#include <vector>

#include "store/segment_stream.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using test::StreamContractTest;

std::vector<test::LStreamCase> Cases() {
  return {{"SegmentStream", [] {
             std::vector<int32_t> samples;
             for (int32_t i = 0; i < 2 * 24000; ++i) samples.push_back((i * 7919 % 40000 - 20000) * 16);
             LSegmentList list = test::MakeSound(22050, 2, samples);
             list.DeleteRange(100, 2000);
             list.InsertSilence(5000, 777);
             list.ScaleRangeGain(9000, 15000, 150);
             return OpenSegmentStream(list);
           }}};
}

INSTANTIATE_TEST_SUITE_P(Store, StreamContractTest, ::testing::ValuesIn(Cases()), test::StreamCaseName);

}  // namespace
}  // namespace klangor
