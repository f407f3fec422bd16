#pragma once
// The heights of a waveform's pixel columns: one upper and one lower byte (0..255) per column,
// computed from a private copy of a document's segment list.
//
// Above 256 frames per column the columns come from the blocks' peak files (two bytes per
// channel per 256 frames), so a sound of hours is drawn from a 512th of its data; otherwise
// from the samples through a segment stream on the copy. Combined: the upper byte is the
// positive peak, the lower one minus the negative peak, over all channels. Split (stereo
// only): the upper byte is the first channel's peak magnitude, the lower one the second's.
// 255 is 522240 (shift by 11), or 65280 with magnify (8 times larger bars).
//
// A computation runs on the window's painter thread: the snapshot is used by one thread at a
// time and never changes, so edits of the document cannot disturb a run. A missing or short
// peak file draws its stretch as silence; nothing reports an error.

#include <cstdint>
#include <functional>
#include <memory>

#include "audio/sound_stream.h"
#include "store/segment_list.h"

namespace klangor {

// The window's mapping of pixel columns to frames: column c begins at frame
// trunc((c + origin) / scale); everything at frame 0 when the scale is not positive.
struct LColumnMap {
  double scale = 1.0;  // pixels per frame
  int64_t origin = 0;  // pixels left of column 0: trunc(view start x scale)

  int64_t FirstFrame(int64_t column) const;
};

// The display's private copy of a sound and a stream on that copy.
class LColumnSnapshot {
 public:
  explicit LColumnSnapshot(const LSegmentList& sound);
  const LSegmentList& Sound() const { return sound_; }
  int Channels() const { return channels_; }
  LSoundStream& Stream() { return *stream_; }

 private:
  LSegmentList sound_;
  int channels_;
  LRef<LSoundStream> stream_;
};

struct LColumnOptions {
  bool split = false;          // stereo channels apart (only honoured for exactly 2 channels)
  bool magnify = false;        // the vertical zoom
  int64_t visibleFrames = 0;   // frames the window's width covers
  int32_t width = 1;           // columns in the window
};

// Where the bytes of columns first..end-1 go: top[c - first] and bottom[c - first].
struct LColumnOutput {
  uint8_t* top;
  uint8_t* bottom;
};

// Asked after every column with the number of columns done so far; true stops the run.
using LColumnStop = std::function<bool(int32_t columnsDone)>;

// True when a run with these options reads the peak files (more than 256 frames per column).
bool UsesPeakFiles(const LColumnOptions& options);

// Fills columns first..end-1 (clipped to 0..width). Returns the number of columns filled
// (less than asked when `stop` ended the run).
int32_t ComputeColumns(LColumnSnapshot& snapshot, const LColumnMap& map, const LColumnOptions& options,
                       int32_t first, int32_t end, LColumnOutput out, const LColumnStop& stop = {});

// The frames [start, end) whose content differs between two versions of a sound: from the
// first frame where they differ to where their common tail begins, or to the end of the
// longer one when the lengths differ (everything after a change of length moves). Empty
// (start == end) when both hold the same audio, however their segments are cut.
struct LFrameRange {
  int64_t start = 0;
  int64_t end = 0;
  bool Empty() const { return start >= end; }
};
LFrameRange ChangedFrames(const LSegmentList& before, const LSegmentList& after);

}  // namespace klangor
