#pragma once
// Channel conversion.
//
// Two channels to one keep the left channel (the right one is dropped); one channel to two
// writes each sample to both. Other counts follow the same rules: fewer channels keep the
// first ones, more channels repeat the input's channels in turn, so that any stream can be
// brought to any sink's channel count.

#include <cstdint>
#include <vector>

#include "audio/sound_stream.h"

namespace klangor {

class LChannelConverterStream final : public LSoundFilter {
 public:
  // `channels` from 1 to 255.
  LChannelConverterStream(LRef<LSoundStream> input, int channels);
  void Read(int32_t* frames, int32_t frameCount) override;

 private:
  int inputChannels_;
  std::vector<int32_t> scratch_;
};

// The input with `channels` channels; the input itself when it has them already, when the
// count is outside 1..255 or when the input is not usable.
LRef<LSoundStream> MakeChannelConverter(LRef<LSoundStream> input, int channels);

}  // namespace klangor
