#include "store/segment_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "audio/sample_format.h"
#include "store/segment_peaks.h"

namespace klangor {

static_assert(std::endian::native == std::endian::little,
              "block files hold little-endian samples that are read straight into memory");

void ApplyReadGain(int32_t* samples, size_t sampleCount, int32_t readGain) {
  constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
  constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
  for (size_t i = 0; i < sampleCount; ++i) {
    int64_t v = (int64_t{readGain} * samples[i]) >> 9;
    samples[i] = static_cast<int32_t>(std::clamp(v, kLow, kHigh));
  }
}

LSegmentStream::LSegmentStream(const LSegmentList& list)
    : LSoundStream(list.SampleRate(), kDocumentFullScale, list.Channels()),
      list_(list),
      length_(list.Length()) {}

LRef<LSoundStream> OpenSegmentStream(const LSegmentList& list) {
  return MakeRef<LSegmentStream>(list);
}

void LSegmentStream::EnterSegment(size_t index, int32_t offset) {
  file_.Close();
  const LSegment& segment = list_.Segments()[index];
  current_ = index + 1;
  remaining_ = segment.length - offset;
  readGain_ = segment.gain >> 15;
  silent_ = segment.IsSilence();
  if (!silent_) {
    file_ = LFile::Open(LBlockStore::Instance().FileName(segment.Block(), LBlockFile::kAudio),
                        LFileMode::kRead);
    silent_ = !file_.IsOpen();
    fileOffset_ = (int64_t{segment.start} + offset) * Channels() * 4;
  }
}

void LSegmentStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  const int channels = Channels();
  int32_t* out = frames;
  int32_t wanted = frameCount;
  if (position_ < 0) {
    int32_t zeros = static_cast<int32_t>(std::min<int64_t>(-int64_t{position_}, wanted));
    std::fill_n(out, static_cast<size_t>(zeros) * channels, 0);
    out += static_cast<size_t>(zeros) * channels;
    wanted -= zeros;
    position_ += zeros;
  }
  // The position advances by the whole request, even past the end.
  position_ = static_cast<int32_t>(std::min<int64_t>(int64_t{position_} + wanted,
                                                      std::numeric_limits<int32_t>::max()));
  while (wanted > 0) {
    if (remaining_ <= 0) {
      if (current_ >= list_.Segments().size()) {
        file_.Close();
        std::fill_n(out, static_cast<size_t>(wanted) * channels, 0);
        return;
      }
      EnterSegment(current_, 0);
      continue;
    }
    int32_t k = std::min(remaining_, wanted);
    const size_t samples = static_cast<size_t>(k) * channels;
    if (silent_) {
      std::fill_n(out, samples, 0);
    } else {
      const int64_t bytes = static_cast<int64_t>(samples) * 4;
      int64_t got = file_.ReadAt(fileOffset_, out, bytes);
      got = std::max<int64_t>(got, 0);
      if (got < bytes) std::memset(reinterpret_cast<char*>(out) + got, 0, static_cast<size_t>(bytes - got));
      fileOffset_ += bytes;
      if (readGain_ != 512) ApplyReadGain(out, samples, readGain_);
    }
    out += samples;
    wanted -= k;
    remaining_ -= k;
  }
}

void LSegmentStream::Seek(int32_t frame) {
  file_.Close();
  remaining_ = 0;
  current_ = 0;
  position_ = frame;
  if (frame <= 0) return;
  int64_t offset = frame;
  const auto& segments = list_.Segments();
  for (size_t i = 0; i < segments.size(); ++i) {
    if (offset < segments[i].length) {
      EnterSegment(i, static_cast<int32_t>(offset));
      return;
    }
    offset -= segments[i].length;
  }
  current_ = segments.size();  // beyond the end: reads yield zeros
}

bool LSegmentStream::StaysWithin(int32_t frameCount, int32_t largest, int32_t smallest) const {
  if (largest < 0 || smallest > 0) return false;
  // Frames before 0 and after the end read as zeros.
  LSegmentList range;
  list_.ExtractRange(std::max(position_, 0),
                     static_cast<int32_t>(std::min<int64_t>(int64_t{position_} + frameCount, length_)), range);
  for (const LSegment& segment : range.Segments()) {
    if (!SegmentStaysWithin(segment, Channels(), largest, smallest)) return false;
  }
  return true;
}

}  // namespace klangor
