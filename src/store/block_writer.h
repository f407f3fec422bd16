#pragma once
// LBlockWriter: the only producer of blocks. It writes frames into a new block's audio file,
// summarises them into the peak file on the way (per 256 frames and channel, the largest
// positive and negative sample >> 11, capped at 255), and when finished makes its target
// list one segment over the new block with the writer's rate and channels.
//
// The target list must outlive the writer. A write failure (a full disk) sets the sink's
// error bit; a writer that could get no block or no file still finishes with a segment of
// the written length, which then reads as silence.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "audio/result.h"
#include "audio/sample_extremes.h"
#include "audio/sound_sink.h"
#include "platform/file.h"
#include "platform/sequential_writer.h"
#include "store/segment.h"
#include "store/segment_list.h"

namespace klangor {

class LBlockWriter final : public LSoundSink {
 public:
  LBlockWriter(int32_t sampleRate, LSegmentList& target, int channels);
  ~LBlockWriter() override;

  void Write(const int32_t* frames, int32_t frameCount) override;
  // Moves the write position; later writes overwrite from there (the files are not cut).
  void Seek(int32_t frame) override;
  // Flushes the last peak group and hands the block to the target list.
  void Finish() override;

  // Refuses (kNoSpace) a block that would not fit into the free space of the working folder.
  int64_t ExpectFrames(int64_t frameCount) override;

  uint16_t Block() const { return pending_.Block(); }

 private:
  void FlushGroup();
  void FlushPeaks();

  LSegmentList* target_;
  LSegment pending_;
  std::unique_ptr<LSequentialWriter> audioFile_;  // the frames are written on a second thread
  LFile peakFile_;
  int32_t groupFill_ = 0;
  std::vector<LExtremes> groupExtremes_;  // per channel, of the group being summarised
  std::vector<uint8_t> peakBuffer_;  // peak entries not yet written
  bool finished_ = false;
};

// The bytes a block of this many frames takes on disk: its samples and its peak file.
int64_t BlockBytes(int64_t frames, int channels);

// Fills a block writer: returns how the writing ended.
using LBlockFill = std::function<LResult(LSoundSink& sink)>;

// Writes a new block with `fill` through a block writer of this rate and channels; `target`
// becomes one segment over it. Failed when `fill` did not complete or the block could not be
// written; `target` is then left empty.
LResult WriteBlock(int32_t sampleRate, int channels, LSegmentList& target, const LBlockFill& fill);

}  // namespace klangor
