#pragma once
// LSegmentStream: reads a sound from its block files. It works on a private copy of the list
// it was opened on, so later edits of the document do not affect it (and its copy keeps the
// old blocks alive); a stream can therefore be handed to another thread once opened.
// Full scale is 2097152: segment gains may raise the level above 16-bit full scale.
// A block file that cannot be read reads as silence.

#include <cstdint>

#include "audio/sound_stream.h"
#include "platform/file.h"
#include "store/segment_list.h"

namespace klangor {

class LSegmentStream final : public LSoundStream {
 public:
  explicit LSegmentStream(const LSegmentList& list);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return length_; }
  void Seek(int32_t frame) override;
  bool LengthFixed() const override { return true; }
  // From the blocks' peak files.
  bool StaysWithin(int32_t frameCount, int32_t largest, int32_t smallest) const override;

 private:
  void EnterSegment(size_t index, int32_t offset);

  LSegmentList list_;
  size_t current_ = 0;      // next segment to enter
  int32_t position_ = 0;
  int32_t length_;
  LFile file_;
  int64_t fileOffset_ = 0;  // byte offset of the next frame in the current segment's file
  int32_t remaining_ = 0;   // frames left in the current segment
  int32_t readGain_ = 512;  // the segment's gain >> 15 (512 = unity)
  bool silent_ = true;      // the current segment reads as zeros
};

// A new stream over a copy of `list`, at position 0.
LRef<LSoundStream> OpenSegmentStream(const LSegmentList& list);

// Applies a read gain (512 = unity) to samples, computed wide and saturated to 32 bits.
void ApplyReadGain(int32_t* samples, size_t sampleCount, int32_t readGain);

}  // namespace klangor
