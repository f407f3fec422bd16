#pragma once
// The stream of cue listening (fast forward and rewind while a button is held): the grain
// time stretch over a document reader, seen in the document's frames. Its position is the
// document frame the current grain plays (before the first read: the start), so position
// reports move the cursor forwards when cueing forwards and backwards when rewinding. Its
// length is the document's: a forward cue ends at the end, a rewind plays silence before
// the start until it is released.

#include <cstdint>

#include "audio/sound_stream.h"
#include "effects/grain_stretch.h"

namespace klangor {

class LCueStream final : public LSoundFilter {
 public:
  // Over `grain`, which started at document frame `start` of a document of `length` frames.
  LCueStream(LRef<LGrainStretchStream> grain, int32_t start, int32_t length, double secondSpeed);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  int32_t Length() const override { return length_; }
  void Seek(int32_t frame) override;

 private:
  LGrainStretchStream* grain_;  // the input, held by the filter
  int32_t length_;
  int32_t start_;
  double secondSpeed_;
  bool started_ = false;
};

// The cue stream over `reader` (at the start frame); the reader itself when it is not usable.
LRef<LSoundStream> MakeCueStream(LRef<LSoundStream> reader, double firstSpeed, double secondSpeed, int32_t rampMs);

}  // namespace klangor
