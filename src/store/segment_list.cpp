#include "store/segment_list.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace klangor {
namespace {

constexpr int64_t kMaxFrames = std::numeric_limits<int32_t>::max();

int32_t ToFrames(int64_t frames) { return static_cast<int32_t>(std::clamp<int64_t>(frames, 0, kMaxFrames)); }

int64_t TotalLength(const std::vector<LSegment>& segments) {
  int64_t total = 0;
  for (const LSegment& segment : segments) total += segment.length;
  return total;
}

}  // namespace

int32_t ScaledGain(int32_t gain, int32_t percent) {
  if (percent == 100) return gain;
  int64_t limit = percent <= 100 ? kMaxGain : int64_t{kMaxGain / percent} * 100;
  if (gain >= limit) return kMaxGain;
  int64_t scaled = int64_t{gain / 100} * percent;
  return static_cast<int32_t>(std::clamp<int64_t>(scaled, -int64_t{kMaxGain}, kMaxGain));
}

int32_t LSegmentList::Length() const { return ToFrames(TotalLength(segments_)); }

void LSegmentList::Append(LSegment segment) {
  if (segment.length > 0) segments_.push_back(std::move(segment));
}

size_t LSegmentList::SplitAt(int64_t p) {
  int64_t pos = 0;
  for (size_t i = 0; i < segments_.size(); ++i) {
    int64_t end = pos + segments_[i].length;
    if (p <= pos) return i;
    if (p < end) {
      LSegment tail = segments_[i];  // a second reference to the same block
      auto head = static_cast<int32_t>(p - pos);
      tail.start += head;
      tail.length -= head;
      segments_[i].length = head;
      segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(tail));
      return i + 1;
    }
    pos = end;
  }
  return segments_.size();
}

void LSegmentList::DeleteRange(int32_t s, int32_t e) {
  if (s >= e || e < 0) return;
  s = std::max(s, 0);
  if (s >= e) return;
  SplitAt(e);
  const size_t first = SplitAt(s);  // starts at frame s; a boundary now lies at frame e
  size_t last = first;
  for (int64_t pos = s; last < segments_.size() && pos < e;) pos += segments_[last++].length;
  segments_.erase(segments_.begin() + static_cast<std::ptrdiff_t>(first),
                  segments_.begin() + static_cast<std::ptrdiff_t>(last));
}

void LSegmentList::ExtractRange(int32_t s, int32_t e, LSegmentList& to) const {
  if (s > e) return;
  LSegmentList result(sampleRate_, channels_);
  const int64_t want = int64_t{e} - s;
  int64_t have = 0;
  if (s < 0) {
    int64_t lead = std::min<int64_t>(-int64_t{s}, want);
    result.Append(LSegment::Silence(static_cast<int32_t>(lead)));
    have = lead;
  }
  // The segments that overlap [max(s, 0), e), trimmed to it.
  const int64_t from = std::max<int64_t>(s, 0);
  int64_t pos = 0;
  for (const LSegment& segment : segments_) {
    int64_t end = pos + segment.length;
    if (pos >= e) break;
    if (end > from) {
      int64_t cutHead = std::max<int64_t>(from - pos, 0);
      int64_t cutTail = std::max<int64_t>(end - e, 0);
      LSegment piece = segment;
      piece.start += static_cast<int32_t>(cutHead);
      piece.length -= static_cast<int32_t>(cutHead + cutTail);
      have += piece.length;
      result.Append(std::move(piece));
    }
    pos = end;
  }
  if (want > have) result.Append(LSegment::Silence(ToFrames(want - have)));
  to = std::move(result);
}

void LSegmentList::CutRange(int32_t s, int32_t e, LSegmentList& to) {
  ExtractRange(s, e, to);
  DeleteRange(s, e);
}

void LSegmentList::Crop(int32_t s, int32_t e) {
  if (s > 0) DeleteRange(0, s);
  DeleteRange(static_cast<int32_t>(std::clamp<int64_t>(int64_t{e} - std::max(s, 0), INT32_MIN, kMaxFrames)),
              Length());
}

void LSegmentList::TrimStart(int32_t e) {
  if (e > 0) DeleteRange(0, e);
}

void LSegmentList::TrimEnd(int32_t s) { DeleteRange(s, Length()); }

void LSegmentList::Insert(int32_t p, const LSegmentList& other) {
  if (&other == this) {
    LSegmentList copy = other;
    Insert(p, copy);
    return;
  }
  const int64_t total = TotalLength(segments_);
  size_t at;
  if (p <= 0) {
    at = 0;
  } else if (p >= total) {
    if (p > total) Append(LSegment::Silence(ToFrames(p - total)));
    at = segments_.size();
  } else {
    at = SplitAt(p);
  }
  auto where = segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(at),
                                other.segments_.begin(), other.segments_.end());
  if (p < 0) {
    segments_.insert(where + static_cast<std::ptrdiff_t>(other.segments_.size()),
                     LSegment::Silence(ToFrames(-int64_t{p})));
  }
}

void LSegmentList::InsertSilence(int32_t p, int32_t n) {
  int64_t at = p;
  int64_t frames = n;
  if (at < 0) {
    if (at + frames <= 0) return;
    frames += at;
    at = 0;
  }
  const int64_t total = TotalLength(segments_);
  // A sound never grows beyond the largest 32-bit frame count: longer silence is cut to the
  // room that is left, so that no frame of the sound is pushed out of reach.
  frames = std::min(frames, kMaxFrames - std::max(total, at));
  if (at >= total) {
    Append(LSegment::Silence(ToFrames(frames + (at - total))));
    return;
  }
  if (frames <= 0) return;
  size_t index = SplitAt(at);
  segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(index),
                   LSegment::Silence(ToFrames(frames)));
}

void LSegmentList::ReplaceRange(int32_t s, int32_t e, const LSegmentList& other) {
  if (&other == this) {
    LSegmentList copy = other;
    ReplaceRange(s, e, copy);
    return;
  }
  DeleteRange(s, e);
  Insert(s, other);
}

void LSegmentList::RepeatRange(int32_t s, int32_t e, int32_t count) {
  if (s >= e || count <= 0) return;
  LSegmentList piece;
  ExtractRange(s, e, piece);
  const int64_t pieceLength = TotalLength(piece.segments_);
  // A sound never grows beyond the largest 32-bit frame count.
  const int64_t room = kMaxFrames - TotalLength(segments_);
  int64_t copies = std::min<int64_t>(count, pieceLength > 0 ? room / pieceLength : 0);
  LSegmentList repeated(sampleRate_, channels_);
  repeated.segments_.reserve(piece.segments_.size() * static_cast<size_t>(std::max<int64_t>(copies, 0)));
  for (int64_t i = 0; i < copies; ++i) {
    std::copy(piece.segments_.begin(), piece.segments_.end(), std::back_inserter(repeated.segments_));
  }
  Insert(s, repeated);
}

void LSegmentList::ScaleRangeGain(int32_t s, int32_t e, int32_t percent) {
  if (s >= e || percent == 100) return;
  LSegmentList piece;
  CutRange(s, e, piece);
  piece.ScaleGain(percent);
  Insert(s, piece);
}

void LSegmentList::ScaleGain(int32_t percent) {
  for (LSegment& segment : segments_) segment.gain = ScaledGain(segment.gain, percent);
}

}  // namespace klangor
