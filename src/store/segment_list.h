#pragma once
// A sound as an ordered list of segments, with its sample rate and channel count.
//
// Every edit rearranges or retags segments; no sample is copied, so edits cost time in
// proportion to the number of segments, not to the length of the sound. Positions are
// frames from 0; ranges are [s, e). Out-of-range positions never fail: they are clipped or
// padded with silence as each operation says. Copying a list copies its segments (each copy
// holds a block reference). A list is used by one thread at a time.

#include <cstdint>
#include <vector>

#include "store/segment.h"

namespace klangor {

class LSegmentList {
 public:
  LSegmentList() = default;
  LSegmentList(int32_t sampleRate, int channels) : sampleRate_(sampleRate), channels_(channels) {}

  int32_t SampleRate() const { return sampleRate_; }
  int Channels() const { return channels_; }
  void SetFormat(int32_t sampleRate, int channels) {
    sampleRate_ = sampleRate;
    channels_ = channels;
  }
  const std::vector<LSegment>& Segments() const { return segments_; }
  bool Empty() const { return segments_.empty(); }

  // The sum of the segment lengths (saturated to the largest 32-bit frame count).
  int32_t Length() const;

  void Clear() { segments_.clear(); }
  void Append(LSegment segment);

  // Removes frames s to e-1; nothing when s >= e or e < 0; s below 0 counts as 0.
  void DeleteRange(int32_t s, int32_t e);
  // `to` becomes frames s to e-1 (same rate and channels); frames before 0 or after the end
  // become silence. Nothing when s > e.
  void ExtractRange(int32_t s, int32_t e, LSegmentList& to) const;
  // ExtractRange, then DeleteRange.
  void CutRange(int32_t s, int32_t e, LSegmentList& to);
  // Keeps only frames s to e-1.
  void Crop(int32_t s, int32_t e);
  void TrimStart(int32_t e);  // deletes 0 to e-1
  void TrimEnd(int32_t s);    // deletes s to the end
  // Inserts copies of `other`'s segments so that they begin at frame p: past the end a gap of
  // silence comes first; at a negative p `other` comes first, then -p frames of silence.
  void Insert(int32_t p, const LSegmentList& other);
  // Inserts n frames of silence at p (the part before frame 0 is dropped; past the end the
  // gap is filled with silence too). The list never grows beyond the largest 32-bit length:
  // silence that would is shortened.
  void InsertSilence(int32_t p, int32_t n);
  // DeleteRange(s, e), then Insert(s, other).
  void ReplaceRange(int32_t s, int32_t e, const LSegmentList& other);
  // The range then occurs count + 1 times in a row.
  void RepeatRange(int32_t s, int32_t e, int32_t count);
  // Scales the gains of frames s to e-1 by `percent`; nothing when s > e or percent is 100.
  void ScaleRangeGain(int32_t s, int32_t e, int32_t percent);
  // Scales every segment's gain by `percent`.
  void ScaleGain(int32_t percent);

 private:
  // Index of the segment that starts at frame p, splitting the segment that contains p;
  // segments_.size() when p is at or past the end.
  size_t SplitAt(int64_t p);

  int32_t sampleRate_ = 44100;
  int channels_ = 1;
  std::vector<LSegment> segments_;
};

// The gain of one segment after scaling by percent, saturated to the 32-bit range.
int32_t ScaledGain(int32_t gain, int32_t percent);

}  // namespace klangor
