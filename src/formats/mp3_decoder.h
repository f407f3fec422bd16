#pragma once
// The Layer III decoder core (ISO/IEC 11172-3 and 13818-3, with MPEG-2.5): a plain state
// object that turns whole frames into samples. It reads no files; the caller finds the frames
// (see LMp3Stream for files) and owns the decoder. Its memory is fixed in size: nothing in a
// stream decides how much it allocates.
//
// State carried from frame to frame: the bit reservoir (main data of earlier frames), the IMDCT
// overlap and the synthesis filter memory, per channel. Reset() clears all of it, as after a
// seek; the first frames after a reset may then come out partly silent until the reservoir
// holds what they refer to.

#include <cstdint>
#include <memory>

#include "formats/mp3_header.h"
#include "formats/mp3_imdct.h"
#include "formats/mp3_scalefactors.h"
#include "formats/mp3_side_info.h"
#include "formats/mp3_synthesis.h"

namespace klangor {

class LMp3Decoder {
 public:
  LMp3Decoder();
  ~LMp3Decoder();
  LMp3Decoder(const LMp3Decoder&) = delete;
  LMp3Decoder& operator=(const LMp3Decoder&) = delete;

  // Decodes the frame that starts at `frame`, of which `bytes` bytes are present (normally
  // its FrameBytes(); fewer when the frame is cut short). Writes SamplesPerFrame() frames of
  // Channels() interleaved samples to `pcm`, full scale kMp3OutputFullScale. A granule whose
  // data is missing, refers to main data the reservoir does not hold, or is damaged comes out
  // as silence (plus the fading overlap of the one before). Returns false, writing nothing,
  // when `frame` does not start with a Layer III header.
  bool DecodeFrame(const uint8_t* frame, int64_t bytes, int32_t* pcm);

  // Forgets the reservoir and the overlap and synthesis memories.
  void Reset();

  // Granule channels decoded as silence since construction or the last Reset().
  int64_t SilencedGranules() const { return silenced_; }

 private:
  struct LState;
  // Decodes the granules from the assembled main data, which holds `availableBits` bits
  // (-1: the side information is unusable).
  void DecodeGranules(const LMp3Header& header, const LMp3SideInfo& side, int64_t availableBits,
                      int32_t* pcm);
  void Silence(int channel);

  std::unique_ptr<LState> state_;
  int64_t silenced_ = 0;
};

}  // namespace klangor
