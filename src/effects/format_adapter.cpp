#include "effects/format_adapter.h"

#include <utility>

#include "effects/channel_converter.h"
#include "effects/rate_converter.h"

namespace klangor {

LRef<LSoundStream> MakeFormatAdapter(LRef<LSoundStream> input, int32_t sampleRate, int channels) {
  if (!input) return input;
  if (channels < input->Channels()) input = MakeChannelConverter(std::move(input), channels);
  input = MakeRateConverter(std::move(input), sampleRate);
  return MakeChannelConverter(std::move(input), channels);
}

}  // namespace klangor
