#include "dsp/channel_converter.h"

#include <utility>

namespace klangor {

LChannelConverterStream::LChannelConverterStream(LRef<LSoundStream> input, int channels)
    : LSoundFilter(std::move(input)), inputChannels_(Channels()) {
  SetFormat(SampleRate(), channels);
}

void LChannelConverterStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  const int outputChannels = Channels();
  scratch_.resize(static_cast<size_t>(frameCount) * inputChannels_);
  Input().Read(scratch_.data(), frameCount);
  const int32_t* in = scratch_.data();
  if (inputChannels_ == 2 && outputChannels == 1) {
    for (int32_t i = 0; i < frameCount; ++i) frames[i] = in[2 * static_cast<size_t>(i)];
  } else if (inputChannels_ == 1 && outputChannels == 2) {
    for (int32_t i = 0; i < frameCount; ++i) {
      frames[2 * static_cast<size_t>(i)] = in[i];
      frames[2 * static_cast<size_t>(i) + 1] = in[i];
    }
  } else {
    for (int32_t i = 0; i < frameCount; ++i) {
      const int32_t* from = in + static_cast<size_t>(i) * inputChannels_;
      int32_t* to = frames + static_cast<size_t>(i) * outputChannels;
      for (int c = 0; c < outputChannels; ++c) to[c] = from[c % inputChannels_];
    }
  }
}

LRef<LSoundStream> MakeChannelConverter(LRef<LSoundStream> input, int channels) {
  if (!input || !input->Usable() || channels < 1 || channels > 255 || input->Channels() == channels) {
    return input;
  }
  return MakeRef<LChannelConverterStream>(std::move(input), channels);
}

}  // namespace klangor
