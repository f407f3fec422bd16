#include "audio/sound_stream.h"

#include <utility>

namespace klangor {

LSoundStream::LSoundStream(int32_t sampleRate, int32_t fullScale, int channels)
    : sampleRate_(sampleRate), fullScale_(fullScale), channels_(static_cast<uint8_t>(channels)) {
  SetFormat(sampleRate, channels);
}

void LSoundStream::SetFormat(int32_t sampleRate, int channels) {
  sampleRate_ = sampleRate;
  channels_ = static_cast<uint8_t>(channels);
  if (sampleRate_ <= 0) {
    sampleRate_ = 44100;
    state_ = LStreamState::kCorrupt;
  }
  if (channels <= 0 || channels > 255) {
    channels_ = 1;
    state_ = LStreamState::kCorrupt;
  }
}

LSoundFilter::LSoundFilter(LRef<LSoundStream> input)
    : LSoundStream(input->SampleRate(), input->FullScale(), input->Channels()),
      input_(std::move(input)) {
  if (!input_->Usable()) SetState(LStreamState::kInputUnusable);
}

}  // namespace klangor
