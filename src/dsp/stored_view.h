#pragma once
// A stream seen as a document reader would read it back after it was pumped into a block:
// exactly `length` frames (the input's frames, zeros after them and before frame 0) at the
// document readers' full scale. The batch streams its last commands straight into the saved
// file through such views, and gets the samples that writing each result into the block store
// and reading it back would give.

#include <cstdint>

#include "audio/sound_stream.h"

namespace klangor {

class LStoredView final : public LSoundFilter {
 public:
  LStoredView(LRef<LSoundStream> result, int32_t length);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return length_; }
  void Seek(int32_t frame) override;
  bool LengthFixed() const override { return true; }
  bool StaysWithin(int32_t frameCount, int32_t largest, int32_t smallest) const override;

 private:
  int32_t length_;
  int32_t position_;
};

}  // namespace klangor
