// The stream contract (support/stream_contract.h) over the stream plumbing: channel and rate
// converters, the format adapter, the stored view and the limiter, quiet and loud.

#include "support/stream_contract.h"

#include <string>
#include <vector>

#include "audio/sample_format.h"
#include "dsp/channel_converter.h"
#include "dsp/format_adapter.h"
#include "dsp/limiter.h"
#include "dsp/rate_converter.h"
#include "dsp/stored_view.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

using test::LStreamCase;
using test::StreamContractTest;

std::vector<LStreamCase> Cases() {
  std::vector<LStreamCase> cases = {
      {"MonoToStereo", [] { return MakeChannelConverter(test::TestAudio(22050, 1, 20000), 2); }},
      {"SixToTwoChannels", [] { return MakeChannelConverter(test::TestAudio(22050, 6, 20000), 2); }},
      {"AdapterStereoToMono48000", [] { return MakeFormatAdapter(test::TestAudio(44100, 2, 20000), 48000, 1); }},
      {"AdapterMonoToStereo22050", [] { return MakeFormatAdapter(test::TestAudio(44100, 1, 20000), 22050, 2); }},
      {"StoredViewCut", [] { return LRef<LSoundStream>(MakeRef<LStoredView>(test::TestAudio(22050, 2, 20000), 15000)); }},
      {"StoredViewPadded", [] { return LRef<LSoundStream>(MakeRef<LStoredView>(test::TestAudio(22050, 1, 20000), 26000)); }},
  };
  struct LRates {
    int32_t from, to;
    int channels;
  };
  for (const LRates& r : {LRates{44100, 48000, 2}, LRates{48000, 8000, 1}, LRates{96000, 44100, 3}}) {
    for (int32_t amplitude : {20000, 600000}) {
      cases.push_back({"Rate" + std::to_string(r.from) + "To" + std::to_string(r.to) + "At" + std::to_string(amplitude),
                       [=] { return MakeRateConverter(test::TestAudio(r.from, r.channels, 20000, amplitude), r.to); }});
    }
  }
  for (int32_t rate : {8000, 44100, 96000}) {
    for (int channels : {1, 2, 3}) {
      cases.push_back({"Limiter" + std::to_string(rate) + "x" + std::to_string(channels), [=] {
                         return MakeLimiter(test::Passages(rate, channels, 40000, 300000, 3000000, 300), kFullScale16);
                       }, 30000});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Dsp, StreamContractTest, ::testing::ValuesIn(Cases()), test::StreamCaseName);

}  // namespace
}  // namespace klangor
