#include "store/wave_columns.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/file.h"
#include "store/block_store.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

constexpr int32_t kGroupFrames = 256;          // frames summarised by one peak entry
constexpr int32_t kSampleReadFrames = 8192;    // the largest sample read
constexpr size_t kPeakReadBytes = 1024;        // the largest peak read
constexpr int64_t kBeyondEnd = 2147418112;     // "remaining" once the segments are used up

uint8_t Cap(int64_t value) { return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255)); }

bool IsSplit(const LColumnOptions& options, int channels) { return options.split && channels == 2; }

// --- from the samples ---

class LSampleColumns {
 public:
  LSampleColumns(LSoundStream& stream, int channels, bool split, int shift)
      : stream_(stream), channels_(channels), split_(split), shift_(shift),
        buffer_(static_cast<size_t>(kSampleReadFrames) * channels) {}

  void Seek(int64_t frame) {
    position_ = std::min<int64_t>(frame, std::numeric_limits<int32_t>::max());
    stream_.Seek(static_cast<int32_t>(position_));
  }

  // Column of frames [f0, f1); a column narrower than a frame shows the frame it lies on.
  void Column(int64_t f0, int64_t f1, uint8_t& top, uint8_t& bottom) {
    Reset();
    if (position_ > f0) {
      Take(last_.data(), 1);  // the frame read ahead for the column before
    } else if (f1 <= f0 && position_ == f0) {
      Read(1);
      std::copy_n(buffer_.data(), channels_, last_.data());
    }
    for (int64_t need = f1 - position_; need > 0;) {
      const auto k = static_cast<int32_t>(std::min<int64_t>(need, kSampleReadFrames));
      Read(k);
      need -= k;
    }
    if (split_) {
      top = Cap(std::max(high_[0], -low_[0]) >> shift_);
      bottom = Cap(std::max(high_[1], -low_[1]) >> shift_);
    } else {
      top = Cap(high_[0] >> shift_);
      bottom = Cap(-low_[0] >> shift_);
    }
  }

 private:
  void Reset() {
    high_ = {0, 0};
    low_ = {0, 0};
  }
  void Read(int32_t frames) {
    stream_.Read(buffer_.data(), frames);
    Take(buffer_.data(), frames);
    position_ += frames;
  }
  void Take(const int32_t* samples, int32_t frames) {
    const size_t count = static_cast<size_t>(frames) * channels_;
    if (split_) {
      int32_t h0 = 0, l0 = 0, h1 = 0, l1 = 0;
      for (size_t i = 0; i + 1 < count; i += 2) {
        h0 = std::max(h0, samples[i]);
        l0 = std::min(l0, samples[i]);
        h1 = std::max(h1, samples[i + 1]);
        l1 = std::min(l1, samples[i + 1]);
      }
      high_[0] = std::max<int64_t>(high_[0], h0);
      low_[0] = std::min<int64_t>(low_[0], l0);
      high_[1] = std::max<int64_t>(high_[1], h1);
      low_[1] = std::min<int64_t>(low_[1], l1);
      return;
    }
    int32_t h = 0, l = 0;
    for (size_t i = 0; i < count; ++i) {
      h = std::max(h, samples[i]);
      l = std::min(l, samples[i]);
    }
    high_[0] = std::max<int64_t>(high_[0], h);
    low_[0] = std::min<int64_t>(low_[0], l);
  }

  LSoundStream& stream_;
  int channels_;
  bool split_;
  int shift_;
  std::vector<int32_t> buffer_;
  std::array<int32_t, 256> last_{};  // the frame read ahead (at most 255 channels)
  int64_t position_ = 0;
  std::array<int64_t, 2> high_{};
  std::array<int64_t, 2> low_{};
};

// --- from the peak files ---

class LPeakColumns {
 public:
  LPeakColumns(const LSegmentList& sound, int channels, bool split, bool magnify)
      : segments_(sound.Segments()), channels_(channels), split_(split), magnify_(magnify),
        stretch_(std::max(512 / channels, 2) * kGroupFrames - kGroupFrames) {}

  void Start(int64_t frame) {
    current_ = frame;
    int64_t position = 0;
    index_ = 0;
    while (index_ < segments_.size() && position + segments_[index_].length <= frame) {
      position += segments_[index_].length;
      ++index_;
    }
    if (index_ >= segments_.size()) {
      remaining_ = kBeyondEnd;
      return;
    }
    const LSegment& segment = segments_[index_];
    remaining_ = position + segment.length - frame;
    factor_ = Factor(segment);
    Open(segment, (segment.start + (frame - position)) / kGroupFrames);
  }

  void Column(int64_t nextFrame, uint8_t& top, uint8_t& bottom) {
    int64_t high = 0;
    int64_t low = 0;
    for (int64_t need = nextFrame - current_; need > 0;) {
      const int64_t k = std::min({need, remaining_, stretch_});
      const int64_t n = (k + kGroupFrames - 1) / kGroupFrames;
      if (file_.IsOpen()) Scan(n, high, low);
      current_ += n * kGroupFrames;
      remaining_ -= n * kGroupFrames;
      need -= n * kGroupFrames;
      while (remaining_ < 1) {
        file_.Close();
        if (index_ + 1 >= segments_.size()) {
          index_ = segments_.size();
          remaining_ = kBeyondEnd;
          break;
        }
        const LSegment& segment = segments_[++index_];
        remaining_ += segment.length;
        Open(segment, segment.start / kGroupFrames);
        const int64_t factor = Factor(segment);
        if (factor > 0) {
          high = std::min<int64_t>(255, high * factor_ / factor);
          low = std::min<int64_t>(255, low * factor_ / factor);
        }
        factor_ = factor;
      }
    }
    top = Cap((high * factor_) >> 8);
    bottom = Cap((low * factor_) >> 8);
  }

 private:
  int64_t Factor(const LSegment& segment) const { return segment.gain >> (magnify_ ? 13 : 16); }

  void Open(const LSegment& segment, int64_t group) {
    file_.Close();
    if (segment.IsSilence()) return;
    filePosition_ = group * channels_ * 2;
    // The entries this segment can use from here: read-ahead never goes much beyond them.
    const int64_t entries = (int64_t{segment.length} + kGroupFrames - 1) / kGroupFrames + 1;
    file_.Open(segment.Block(), filePosition_ + entries * channels_ * 2);
  }

  // Reads n entries per channel; only the bytes the file has count (a short file leaves the
  // column with what was found so far).
  void Scan(int64_t n, int64_t& high, int64_t& low) {
    const int64_t bytes = std::min<int64_t>(n * channels_ * 2, kPeakReadBytes);
    const uint8_t* data = nullptr;
    const int64_t got = file_.Get(filePosition_, bytes, &data);
    filePosition_ += bytes;
    // Sixteen lanes of bytes keep whole entries in place: in a combined view even lanes hold
    // positive peaks and odd lanes negative ones; split, lanes 0, 1 (mod 4) are the first
    // channel and 2, 3 the second. The loop vectorises.
    constexpr int kLanes = 16;
    uint8_t lanes[kLanes] = {};
    int64_t i = 0;
    for (; i + kLanes <= got; i += kLanes) {
      for (int l = 0; l < kLanes; ++l) lanes[l] = std::max(lanes[l], data[i + l]);
    }
    for (int l = 0; i < got; ++i, ++l) lanes[l] = std::max(lanes[l], data[i]);
    int h = 0, w = 0;
    for (int l = 0; l < kLanes; ++l) {
      const bool upper = split_ ? (l & 2) == 0 : (l & 1) == 0;
      (upper ? h : w) = std::max<int>(upper ? h : w, lanes[l]);
    }
    high = std::max<int64_t>(high, h);
    low = std::max<int64_t>(low, w);
  }

  // A block's peak file read through a larger buffer: the column loop asks for small pieces
  // in order. Closing keeps the descriptor and the buffer, so the segments of a repeated
  // range open their common block only once.
  class LPeakFile {
   public:
    void Open(uint16_t block, int64_t endHint) {
      if (block != block_ || !file_.IsOpen()) {
        file_ = LFile::Open(LBlockStore::Instance().FileName(block, LBlockFile::kPeaks), LFileMode::kRead);
        block_ = block;
        bufferStart_ = 0;
        bufferBytes_ = 0;
      }
      endHint_ = endHint;
      open_ = file_.IsOpen();
    }
    void Close() { open_ = false; }
    bool IsOpen() const { return open_; }
    // Up to `bytes` bytes from `position` (fewer at the end of the file) at `*data`.
    int64_t Get(int64_t position, int64_t bytes, const uint8_t** data) {
      if (position < bufferStart_ || position + bytes > bufferStart_ + bufferBytes_) {
        const int64_t want = std::clamp<int64_t>(endHint_ - position, bytes, kBufferBytes);
        bufferStart_ = position;
        bufferBytes_ = std::max<int64_t>(file_.ReadAt(position, buffer_.data(), want), 0);
      }
      *data = buffer_.data() + (position - bufferStart_);
      return std::clamp<int64_t>(bufferStart_ + bufferBytes_ - position, 0, bytes);
    }

   private:
    static constexpr int64_t kBufferBytes = 65536;
    LFile file_;
    uint16_t block_ = kNoBlock;
    bool open_ = false;
    int64_t endHint_ = 0;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kBufferBytes);
    int64_t bufferStart_ = 0;
    int64_t bufferBytes_ = 0;
  };

  const std::vector<LSegment>& segments_;
  int channels_;
  bool split_;
  bool magnify_;
  int64_t stretch_;
  size_t index_ = 0;
  int64_t current_ = 0;
  int64_t remaining_ = 0;
  int64_t factor_ = 256;
  LPeakFile file_;
  int64_t filePosition_ = 0;
};

// One segment's content at an offset: equal when both are silence, or the same block at the
// same place with the same gain.
bool SameContent(const LSegment& a, int64_t offsetA, const LSegment& b, int64_t offsetB) {
  if (a.IsSilence() || b.IsSilence()) return a.IsSilence() && b.IsSilence();
  return a.Block() == b.Block() && a.gain == b.gain && a.start + offsetA == b.start + offsetB;
}

// Frames at the start (or, with `fromEnd`, at the end) that both lists hold alike.
int64_t CommonFrames(const std::vector<LSegment>& a, const std::vector<LSegment>& b, bool fromEnd) {
  size_t i = 0, j = 0;
  int64_t usedA = 0, usedB = 0;  // frames of a[i] and b[j] already compared
  int64_t common = 0;
  auto at = [fromEnd](const std::vector<LSegment>& list, size_t k) -> const LSegment& {
    return fromEnd ? list[list.size() - 1 - k] : list[k];
  };
  while (i < a.size() && j < b.size()) {
    const LSegment& sa = at(a, i);
    const LSegment& sb = at(b, j);
    const int64_t k = std::min<int64_t>(sa.length - usedA, sb.length - usedB);
    // From the end the compared piece is the last k frames before the used part.
    const int64_t offsetA = fromEnd ? sa.length - usedA - k : usedA;
    const int64_t offsetB = fromEnd ? sb.length - usedB - k : usedB;
    if (!SameContent(sa, offsetA, sb, offsetB)) break;
    common += k;
    usedA += k;
    usedB += k;
    if (usedA == sa.length) ++i, usedA = 0;
    if (usedB == sb.length) ++j, usedB = 0;
  }
  return common;
}

int64_t TotalFrames(const std::vector<LSegment>& segments) {
  int64_t total = 0;
  for (const LSegment& segment : segments) total += segment.length;
  return total;
}

}  // namespace

int64_t LColumnMap::FirstFrame(int64_t column) const {
  if (!(scale > 0)) return 0;
  const double frame = std::trunc(static_cast<double>(column + origin) / scale);
  return static_cast<int64_t>(std::clamp(frame, -9.0e18, 9.0e18));
}

LColumnSnapshot::LColumnSnapshot(const LSegmentList& sound)
    : sound_(sound), channels_(std::max(sound.Channels(), 1)), stream_(OpenSegmentStream(sound_)) {}

bool UsesPeakFiles(const LColumnOptions& options) {
  return options.visibleFrames > int64_t{options.width} * kGroupFrames;
}

int32_t ComputeColumns(LColumnSnapshot& snapshot, const LColumnMap& map, const LColumnOptions& options,
                       int32_t first, int32_t end, LColumnOutput out, const LColumnStop& stop) {
  const int32_t width = std::max(options.width, 1);
  const int32_t from = std::clamp(first, 0, width);
  const int32_t to = std::clamp(end, from, width);
  const int channels = snapshot.Channels();
  const bool split = IsSplit(options, channels);
  const int64_t start = std::max<int64_t>(map.FirstFrame(from), 0);
  auto run = [&](auto&& column) {
    for (int32_t c = from; c < to; ++c) {
      column(c, out.top[c - from], out.bottom[c - from]);
      if (stop && stop(c - from + 1)) return c - from + 1;
    }
    return to - from;
  };
  if (UsesPeakFiles(options)) {
    LPeakColumns peaks(snapshot.Sound(), channels, split, options.magnify);
    peaks.Start(start);
    return run([&](int32_t c, uint8_t& top, uint8_t& bottom) { peaks.Column(map.FirstFrame(c + 1), top, bottom); });
  }
  LSampleColumns samples(snapshot.Stream(), channels, split, options.magnify ? 8 : 11);
  samples.Seek(start);
  return run([&](int32_t c, uint8_t& top, uint8_t& bottom) {
    samples.Column(std::max<int64_t>(map.FirstFrame(c), 0), std::max<int64_t>(map.FirstFrame(c + 1), 0), top, bottom);
  });
}

LFrameRange ChangedFrames(const LSegmentList& before, const LSegmentList& after) {
  const auto& a = before.Segments();
  const auto& b = after.Segments();
  const int64_t lengthA = TotalFrames(a);
  const int64_t lengthB = TotalFrames(b);
  const int64_t head = CommonFrames(a, b, false);
  if (lengthA != lengthB) return {head, std::max(lengthA, lengthB)};
  if (head >= lengthA) return {lengthA, lengthA};
  const int64_t tail = std::min(CommonFrames(a, b, true), lengthA - head);
  return {head, lengthA - tail};
}

}  // namespace klangor
