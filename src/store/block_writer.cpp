#include "store/block_writer.h"

#include <algorithm>

#include "platform/paths.h"

namespace klangor {
namespace {

constexpr int32_t kGroupFrames = 256;
constexpr size_t kPeakBufferBytes = 16384;

}  // namespace

LBlockWriter::LBlockWriter(int32_t sampleRate, LSegmentList& target, int channels)
    : LSoundSink(sampleRate, channels), target_(&target) {
  LBlockStore& store = LBlockStore::Instance();
  pending_ = LSegment::AdoptBlock(store.Allocate(), 0, 0);
  if (!pending_.IsSilence()) {
    LFile audio = LFile::Open(store.FileName(pending_.Block(), LBlockFile::kAudio),
                              LFileMode::kCreateAlways, 0600);
    if (audio.IsOpen()) {
      audioFile_ = std::make_unique<LSequentialWriter>(std::move(audio), LWriteMode::kBackground);
    }
    peakFile_ = LFile::Open(store.FileName(pending_.Block(), LBlockFile::kPeaks),
                            LFileMode::kCreateAlways, 0600);
  }
  if (!audioFile_) SetError(kCannotWrite);
  groupExtremes_.assign(Channels(), LExtremes{});
  peakBuffer_.reserve(kPeakBufferBytes);
}

LBlockWriter::~LBlockWriter() { Finish(); }

void LBlockWriter::Write(const int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0 || finished_) return;
  AddFramesWritten(frameCount);
  const int64_t bytes = int64_t{frameCount} * Channels() * 4;
  if (audioFile_) {
    audioFile_->Write(frames, bytes);
    if (audioFile_->Failed()) SetError(kCannotWrite);
  }
  const int channels = Channels();
  while (frameCount > 0) {
    int32_t k = std::min(frameCount, kGroupFrames - groupFill_);
    WidenFrameExtremes(frames, static_cast<size_t>(k), channels, groupExtremes_.data());
    groupFill_ += k;
    if (groupFill_ == kGroupFrames) FlushGroup();
    frames += static_cast<size_t>(k) * channels;
    frameCount -= k;
  }
}

void LBlockWriter::FlushGroup() {
  for (LExtremes& group : groupExtremes_) {
    peakBuffer_.push_back(static_cast<uint8_t>(std::min(255, group.largest >> 11)));
    // Minus the minimum, computed wide: the smallest 32-bit sample has no 32-bit negation.
    int64_t negative = -int64_t{group.smallest};
    peakBuffer_.push_back(static_cast<uint8_t>(std::min<int64_t>(255, negative >> 11)));
    group = LExtremes{};
  }
  groupFill_ = 0;
  if (peakBuffer_.size() >= kPeakBufferBytes) FlushPeaks();
}

void LBlockWriter::FlushPeaks() {
  if (!peakBuffer_.empty() && peakFile_.IsOpen()) {
    peakFile_.Write(peakBuffer_.data(), static_cast<int64_t>(peakBuffer_.size()));
  }
  peakBuffer_.clear();
}

void LBlockWriter::Seek(int32_t frame) {
  if (finished_) return;
  frame = std::max(frame, 0);
  const int64_t written = FramesWritten();
  FlushPeaks();
  SetFramesWritten(frame);
  if (audioFile_) audioFile_->SetPosition(int64_t{frame} * Channels() * 4);
  const int64_t group = frame / kGroupFrames;
  const int64_t entryBytes = int64_t{Channels()} * 2;
  peakFile_.SetPosition(group * entryBytes);
  groupFill_ = frame % kGroupFrames;
  // The frames of the group before `frame` stay: its entry must still cover them. The
  // group being filled keeps what it has; a finished group starts from its stored entry.
  // Both may also cover frames that are overwritten next, which only makes the entry higher.
  const bool filling = group == written / kGroupFrames;
  if (groupFill_ == 0 || !filling) std::fill(groupExtremes_.begin(), groupExtremes_.end(), LExtremes{});
  if (groupFill_ > 0 && group < written / kGroupFrames) {
    std::vector<uint8_t> entry(static_cast<size_t>(entryBytes));
    if (peakFile_.ReadAt(group * entryBytes, entry.data(), entryBytes) == entryBytes) {
      for (size_t c = 0; c < groupExtremes_.size(); ++c) {
        groupExtremes_[c] = {int32_t{entry[2 * c]} << 11, -(int32_t{entry[2 * c + 1]} << 11)};
      }
    }
  }
}

void LBlockWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  if (groupFill_ > 0) FlushGroup();
  FlushPeaks();
  if (audioFile_ && !audioFile_->Flush()) SetError(kCannotWrite);
  audioFile_.reset();
  peakFile_.Close();
  pending_.length = FramesWritten();
  target_->Clear();
  target_->SetFormat(SampleRate(), Channels());
  target_->Append(std::move(pending_));  // the target's segment now holds the block
}

int64_t BlockBytes(int64_t frames, int channels) {
  const int64_t groups = (std::max<int64_t>(frames, 0) + kGroupFrames - 1) / kGroupFrames;
  return (std::max<int64_t>(frames, 0) * 4 + groups * 2) * channels;
}

int64_t LBlockWriter::ExpectFrames(int64_t frameCount) {
  const int64_t bytes = BlockBytes(frameCount, Channels());
  if (!audioFile_ || finished_) return bytes;
  const int64_t freeBytes =
      FreeBytesAvailable(LBlockStore::Instance().FileName(pending_.Block(), LBlockFile::kAudio));
  if (freeBytes >= 0 && bytes > freeBytes) {
    SetError(kCannotWrite | kNoSpace);
    audioFile_.reset();
  }
  return bytes;
}

LResult WriteBlock(int32_t sampleRate, int channels, LSegmentList& target, const LBlockFill& fill) {
  auto writer = MakeRef<LBlockWriter>(sampleRate, target, channels);
  LResult outcome = fill(*writer);
  writer->Finish();
  if (outcome == LResult::kDone && writer->Failed()) outcome = LResult::kFailed;
  if (outcome != LResult::kDone) target.Clear();
  return outcome;
}

}  // namespace klangor
