#include "dsp/format_adapter.h"

#include <utility>

#include "dsp/channel_converter.h"
#include "dsp/rate_converter.h"

namespace klangor {

LRef<LSoundStream> MakeFormatAdapter(LRef<LSoundStream> input, int32_t sampleRate, int channels) {
  if (!input) return input;
  if (channels < input->Channels()) input = MakeChannelConverter(std::move(input), channels);
  input = MakeRateConverter(std::move(input), sampleRate);
  return MakeChannelConverter(std::move(input), channels);
}

}  // namespace klangor
