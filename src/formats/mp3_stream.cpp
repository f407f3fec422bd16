#include "formats/mp3_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "audio/sample_format.h"
#include "formats/mp3_decoder.h"
#include "formats/readable_file.h"
#include "platform/byte_order.h"

namespace klangor {
namespace {

constexpr int64_t kId3v1Bytes = 128;        // an ID3 version 1 tag at the end of the file
constexpr int64_t kApeFooterBytes = 32;     // the footer (and header) of an APEv2 tag
constexpr int64_t kLyricsFooterBytes = 15;  // a Lyrics3 v2 tag's size digits and "LYRICS200"
constexpr int64_t kSearchShifts = 65536;    // bytes a header search may skip
constexpr int kStreamRetries = 10;          // further searches after a frame of another stream
constexpr int kBitrateFrames = 8;           // headers averaged for an estimated length
constexpr int64_t kPrerollFrames = 4;
constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max();

// The smallest frame a stream of this version and rate can have (the lowest bitrate, no padding).
int MinimumFrameBytes(const LMp3Header& header) {
  LMp3Header smallest = header;
  smallest.bitrateKbps = header.Mpeg1() ? 32 : 8;
  smallest.padding = false;
  return smallest.FrameBytes();
}

// The bytes an ID3 version 2 tag at `bytes` takes (header, body and footer), or 0 when there is
// none. The tag's size is a 28-bit "syncsafe" number; a byte with its top bit set means these are
// not tag bytes after all.
int64_t Id3v2TagBytes(const uint8_t* bytes, int64_t got) {
  constexpr int64_t kHeaderBytes = 10;
  if (got < kHeaderBytes || std::memcmp(bytes, "ID3", 3) != 0 || bytes[3] == 0xFF || bytes[4] == 0xFF) return 0;
  int64_t size = 0;
  for (int i = 6; i < 10; ++i) {
    if ((bytes[i] & 0x80) != 0) return 0;
    size = (size << 7) | bytes[i];
  }
  const bool footer = (bytes[5] & 0x10) != 0;
  return kHeaderBytes + size + (footer ? kHeaderBytes : 0);
}

// Where the audio of the file ends: before the tags at its end. An ID3 version 1 tag is the
// last 128 bytes when they begin with "TAG"; before it (or at the very end) an APEv2 tag and a
// Lyrics3 v2 tag, in either order, are recognised by their footers. A footer whose stated size
// does not fit into the bytes before it is not believed.
int64_t AudioEndByte(const LFile& file, int64_t fileBytes) {
  int64_t end = fileBytes;
  uint8_t bytes[kId3v1Bytes];
  const auto readBefore = [&](int64_t count) {
    return end >= count && file.ReadAt(end - count, bytes, count) == count;
  };
  if (readBefore(kId3v1Bytes) && std::memcmp(bytes, "TAG", 3) == 0) end -= kId3v1Bytes;
  for (int tags = 0; tags < 2; ++tags) {
    if (readBefore(kApeFooterBytes) && std::memcmp(bytes, "APETAGEX", 8) == 0) {
      // The size counts the items and the footer; a flag says whether a header precedes them.
      const int64_t size = LoadLe32(bytes + 12);
      const bool header = (LoadLe32(bytes + 20) & 0x80000000u) != 0;
      const int64_t tagBytes = size + (header ? kApeFooterBytes : 0);
      if (size >= kApeFooterBytes && tagBytes <= end) {
        end -= tagBytes;
        continue;
      }
    }
    if (readBefore(kLyricsFooterBytes) && std::memcmp(bytes + 6, "LYRICS200", 9) == 0 &&
        std::all_of(bytes, bytes + 6, [](uint8_t b) { return b >= '0' && b <= '9'; })) {
      // Six digits give the size from "LYRICSBEGIN" up to them.
      int64_t size = 0;
      for (int i = 0; i < 6; ++i) size = size * 10 + (bytes[i] - '0');
      const int64_t tagBytes = size + kLyricsFooterBytes;
      uint8_t begin[11];
      if (tagBytes <= end && file.ReadAt(end - tagBytes, begin, 11) == 11 &&
          std::memcmp(begin, "LYRICSBEGIN", 11) == 0) {
        end -= tagBytes;
        continue;
      }
    }
    break;
  }
  return end;
}

}  // namespace

// Positioned reads through a window of the file, so that header searches and frames cost
// memory copies rather than a system call each.
class LMp3Stream::LByteWindow {
 public:
  explicit LByteWindow(LFile file) : file_(std::move(file)), buffer_(kWindowBytes) {}

  // Up to `bytes` (at most kMaxRequest) bytes from `offset`; `*got` says how many the file
  // holds there.
  const uint8_t* Get(int64_t offset, int64_t bytes, int64_t* got) {
    if (offset < start_ || offset + bytes > start_ + filled_) {
      const int64_t read = file_.ReadAt(offset, buffer_.data(), kWindowBytes);
      start_ = offset;
      filled_ = std::max<int64_t>(read, 0);
    }
    *got = std::clamp<int64_t>(start_ + filled_ - offset, 0, bytes);
    return buffer_.data() + (offset - start_);
  }

  const LFile& File() const { return file_; }

  static constexpr int64_t kMaxRequest = 4096;

 private:
  static constexpr int64_t kWindowBytes = 65536;
  LFile file_;
  std::vector<uint8_t> buffer_;
  int64_t start_ = 0;
  int64_t filled_ = 0;
};

LRef<LSoundStream> OpenMp3File(const std::string& path) { return MakeRef<LMp3Stream>(path); }

LMp3Stream::LMp3Stream(const std::string& path)
    : LSoundStream(44100, kDocumentFullScale, 1),
      pcm_(static_cast<size_t>(kMp3MaxSamplesPerFrame) * 2) {
  LFile file = OpenReadableFile(path);  // regular files only
  if (!file.IsOpen()) {
    SetState(LStreamState::kCannotOpen);
    return;
  }
  fileBytes_ = file.Size();
  window_ = std::make_unique<LByteWindow>(std::move(file));
  if (fileBytes_ < 0) {
    SetState(LStreamState::kCannotOpen);
    return;
  }
  Open();
}

LMp3Stream::~LMp3Stream() = default;

void LMp3Stream::Open() {
  budgetBytes_ = AudioEndByte(window_->File(), fileBytes_);
  // ID3 version 2 tags at the start (cover pictures make them far longer than a header search
  // may skip) are stepped over by their stated sizes; a size past the end is not believed.
  int64_t start = 0;
  for (int tags = 0; tags < 4; ++tags) {
    int64_t got = 0;
    const uint8_t* bytes = window_->Get(start, 10, &got);
    const int64_t tagBytes = Id3v2TagBytes(bytes, got);
    if (tagBytes == 0 || start + tagBytes >= fileBytes_) break;
    start += tagBytes;
  }
  LFound found;
  if (!SearchHeader(start, true, -1, &found) && (start == 0 || !SearchHeader(0, true, -1, &found))) {
    SetState(LStreamState::kCorrupt);
    return;
  }
  first_ = found.header;
  SetFormat(first_.sampleRateHz, first_.Channels());
  samplesPerFrame_ = first_.SamplesPerFrame();
  decoder_ = std::make_unique<LMp3Decoder>();

  // A first frame with a frame count is skipped. A count that the file's size cannot hold
  // (or 0) is not believed; the length is then estimated as without one.
  const int frameBytes = first_.FrameBytes();
  int64_t got = 0;
  const uint8_t* bytes = window_->Get(found.offset, frameBytes, &got);
  std::optional<uint32_t> count = ReadMp3FrameCount(bytes, static_cast<size_t>(got), first_);
  audioStartByte_ = found.offset + (count ? frameBytes : 0);
  const int64_t dataBytes = std::max<int64_t>(budgetBytes_ - audioStartByte_, 0);
  const int64_t largestCount = (fileBytes_ - audioStartByte_) / MinimumFrameBytes(first_) + 1;
  if (count && *count >= 1 && *count <= largestCount) {
    lengthExact_ = true;
    bytesPerFrame_ = std::max(static_cast<double>(dataBytes) / *count, 1.0);
    lengthFrames_ = std::min<int64_t>(int64_t{*count} * samplesPerFrame_, kMaxLength);
  } else {
    double kbpsSum = 0;
    int headers = 0;
    for (int64_t offset = audioStartByte_; headers < kBitrateFrames;) {
      LFound next;
      if (!FindFrame(offset, false, &next)) break;
      kbpsSum += next.header.bitrateKbps;
      ++headers;
      offset = next.offset + next.header.FrameBytes();
    }
    const double kbps = headers > 0 ? kbpsSum / headers : first_.bitrateKbps;
    bytesPerFrame_ = (first_.Mpeg1() ? 144.0 : 72.0) * kbps * 1000.0 / first_.sampleRateHz;
    lengthFrames_ = std::min<int64_t>(static_cast<int64_t>(dataBytes / bytesPerFrame_) * samplesPerFrame_, kMaxLength);
  }
  nextByte_ = audioStartByte_;
}

// A header search: from `from`, shifting one byte at a time at most kSearchShifts times, for
// four bytes before the trailing tags that pass the header checks. A header found anywhere but
// at `expected` (or any header when `confirmAll`) must also be followed by a frame of the same
// stream, so that a chance match inside audio data or a tag is passed over.
bool LMp3Stream::SearchHeader(int64_t from, bool confirmAll, int64_t expected, LFound* found) {
  int64_t offset = from;
  const int64_t last = from + kSearchShifts;
  while (offset <= last && offset + kMp3HeaderBytes <= budgetBytes_) {
    int64_t got = 0;
    const int64_t chunk =
        std::min({LByteWindow::kMaxRequest, last - offset + kMp3HeaderBytes, budgetBytes_ - offset});
    const uint8_t* bytes = window_->Get(offset, chunk, &got);
    if (got < kMp3HeaderBytes) return false;
    for (int64_t i = 0; i + kMp3HeaderBytes <= got && offset + i <= last; ++i) {
      if (bytes[i] != 0xFF) continue;
      std::optional<LMp3Header> header = ParseMp3Header(bytes + i);
      if (!header) continue;
      found->offset = offset + i;
      found->header = *header;
      if ((confirmAll || found->offset != expected) && !FollowedByFrame(*found)) {
        bytes = window_->Get(offset, chunk, &got);  // the check may have moved the window
        continue;
      }
      return true;
    }
    offset += got - (kMp3HeaderBytes - 1);
  }
  return false;
}

bool LMp3Stream::FollowedByFrame(const LFound& found) {
  const int64_t next = found.offset + found.header.FrameBytes();
  if (next + kMp3HeaderBytes > budgetBytes_) return true;  // the last frame of the file
  int64_t got = 0;
  const uint8_t* bytes = window_->Get(next, kMp3HeaderBytes, &got);
  if (got < kMp3HeaderBytes) return true;
  if (std::memcmp(bytes, "TAG", 3) == 0) return true;
  std::optional<LMp3Header> header = ParseMp3Header(bytes);
  return header && header->SameStream(found.header);
}

// The frame at or after `offset`: its header must belong to the stream of the first frame;
// after a frame of another stream the search goes on, at most kStreamRetries more times.
bool LMp3Stream::FindFrame(int64_t offset, bool resync, LFound* found) {
  int64_t from = offset;
  for (int attempt = 0; attempt <= kStreamRetries; ++attempt) {
    if (!SearchHeader(from, resync, offset, found)) return false;
    if (found->header.SameStream(first_)) return true;
    from = found->offset + 1;
  }
  return false;
}

bool LMp3Stream::DecodeNext(int32_t* target) {
  if (ended_ || !decoder_) return false;
  LFound found;
  if (!FindFrame(nextByte_, resync_, &found)) {
    EndOfDecoding();
    return false;
  }
  resync_ = false;
  const int frameBytes = found.header.FrameBytes();
  int64_t got = 0;
  const uint8_t* bytes = window_->Get(found.offset, frameBytes, &got);
  got = std::min(got, budgetBytes_ - found.offset);  // a cut last frame does not take in a tag
  decoder_->DecodeFrame(bytes, got, target != nullptr ? target : pcm_.data());
  pcmHeld_ = target == nullptr;
  pcmStartFrame_ += pcmFrames_;
  pcmFrames_ = samplesPerFrame_;
  nextByte_ = found.offset + frameBytes;
  if (!lengthExact_) {
    // The frames the bytes left can hold; at least one while another header follows.
    const int64_t bytesLeft = std::max<int64_t>(budgetBytes_ - nextByte_, 0);
    int64_t frames = static_cast<int64_t>(bytesLeft / bytesPerFrame_);
    if (frames == 0 && nextByte_ + kMp3HeaderBytes <= budgetBytes_) {
      const uint8_t* next = window_->Get(nextByte_, kMp3HeaderBytes, &got);
      std::optional<LMp3Header> header;
      if (got == kMp3HeaderBytes) header = ParseMp3Header(next);
      if (header && header->SameStream(first_)) frames = 1;
    }
    lengthFrames_ = std::min(pcmStartFrame_ + pcmFrames_ + frames * samplesPerFrame_, kMaxLength);
  }
  return true;
}

void LMp3Stream::EndOfDecoding() {
  ended_ = true;
  const int64_t end = pcmStartFrame_ + pcmFrames_;
  if (!lengthExact_ || end < lengthFrames_) lengthFrames_ = end;
}

// Decoding restarts with the frame that holds frame position `frame`, after the pre-roll.
void LMp3Stream::Restart(int64_t frame) {
  const int64_t target = frame / samplesPerFrame_;
  const int64_t first = std::max<int64_t>(target - kPrerollFrames, 0);
  decoder_->Reset();
  ended_ = false;
  nextByte_ = audioStartByte_ + static_cast<int64_t>(static_cast<double>(first) * bytesPerFrame_);
  resync_ = first > 0;
  pcmStartFrame_ = first * samplesPerFrame_;
  pcmFrames_ = 0;
  for (int64_t f = first; f < target; ++f) {
    if (!DecodeNext()) return;
  }
  DecodeNext();
}

void LMp3Stream::Seek(int32_t frame) {
  positionFrames_ = frame;
  if (!decoder_) return;
  Restart(std::clamp<int64_t>(frame, 0, lengthFrames_));
}

bool LMp3Stream::Reach(int64_t frame) {
  if (frame < pcmStartFrame_ || (!pcmHeld_ && frame < pcmStartFrame_ + pcmFrames_)) Restart(frame);
  while (frame >= pcmStartFrame_ + pcmFrames_) {
    if (!DecodeNext()) return false;
  }
  return frame >= pcmStartFrame_;
}

void LMp3Stream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  const auto channels = static_cast<size_t>(Channels());
  int64_t p = positionFrames_;
  positionFrames_ += frameCount;
  int32_t* out = frames;
  int64_t left = frameCount;
  while (left > 0) {
    // Where the audio ends for now: an estimated length grows while frames keep coming.
    const int64_t end = decoder_ == nullptr ? 0 : (lengthExact_ || ended_) ? lengthFrames_ : kMaxLength;
    int64_t n = left;
    if (p >= 0 && p < end && p == pcmStartFrame_ + pcmFrames_ && left >= samplesPerFrame_ &&
        end - p >= samplesPerFrame_ && DecodeNext(out)) {
      n = samplesPerFrame_;  // a whole frame, decoded straight into the caller's buffer
    } else if (p >= 0 && p < end) {
      if (!Reach(p)) {
        std::fill_n(out, static_cast<size_t>(left) * channels, 0);  // decoding ended before p
        return;
      }
      n = std::min({left, pcmStartFrame_ + pcmFrames_ - p, end - p});
      const int32_t* source = pcm_.data() + static_cast<size_t>(p - pcmStartFrame_) * channels;
      std::copy_n(source, static_cast<size_t>(n) * channels, out);
    } else {
      if (p < 0) n = std::min(left, -p);
      std::fill_n(out, static_cast<size_t>(n) * channels, 0);
    }
    p += n;
    left -= n;
    out += static_cast<size_t>(n) * channels;
  }
}

int32_t LMp3Stream::Position() const {
  return static_cast<int32_t>(std::clamp<int64_t>(positionFrames_, std::numeric_limits<int32_t>::min(), kMaxLength));
}

int32_t LMp3Stream::Length() const { return static_cast<int32_t>(std::clamp<int64_t>(lengthFrames_, 0, kMaxLength)); }

}  // namespace klangor
