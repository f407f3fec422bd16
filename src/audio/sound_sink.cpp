#include "audio/sound_sink.h"

namespace klangor {

LSoundSink::LSoundSink(int32_t sampleRate, int channels)
    : sampleRate_(sampleRate), channels_(static_cast<uint8_t>(channels)) {
  if (channels <= 0 || channels > 255) {
    channels_ = 1;
    errorFlags_ |= kCannotWrite;
  }
}

}  // namespace klangor
