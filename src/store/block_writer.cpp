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
  groupMax_.assign(Channels(), 0);
  groupMin_.assign(Channels(), 0);
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
    SummariseGroup(frames, k);
    groupFill_ += k;
    if (groupFill_ == kGroupFrames) FlushGroup();
    frames += static_cast<size_t>(k) * channels;
    frameCount -= k;
  }
}

void LBlockWriter::SummariseGroup(const int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  if (channels == 1 || channels == 2) {
    // Interleaved lanes of 16 samples hold whole frames, so lane l belongs to channel
    // l % channels; this loop vectorises.
    constexpr int kLanes = 16;
    int32_t laneMax[kLanes];
    int32_t laneMin[kLanes];
    std::fill_n(laneMax, kLanes, 0);
    std::fill_n(laneMin, kLanes, 0);
    const size_t samples = static_cast<size_t>(frameCount) * channels;
    size_t i = 0;
    for (; i + kLanes <= samples; i += kLanes) {
      for (int l = 0; l < kLanes; ++l) {
        laneMax[l] = std::max(laneMax[l], frames[i + l]);
        laneMin[l] = std::min(laneMin[l], frames[i + l]);
      }
    }
    for (int l = 0; l < kLanes; ++l) {
      groupMax_[l % channels] = std::max(groupMax_[l % channels], laneMax[l]);
      groupMin_[l % channels] = std::min(groupMin_[l % channels], laneMin[l]);
    }
    for (; i < samples; ++i) {
      int c = static_cast<int>(i % channels);
      groupMax_[c] = std::max(groupMax_[c], frames[i]);
      groupMin_[c] = std::min(groupMin_[c], frames[i]);
    }
    return;
  }
  for (int32_t f = 0; f < frameCount; ++f) {
    for (int c = 0; c < channels; ++c) {
      int32_t v = frames[static_cast<size_t>(f) * channels + c];
      groupMax_[c] = std::max(groupMax_[c], v);
      groupMin_[c] = std::min(groupMin_[c], v);
    }
  }
}

void LBlockWriter::FlushGroup() {
  for (size_t c = 0; c < groupMax_.size(); ++c) {
    peakBuffer_.push_back(static_cast<uint8_t>(std::min(255, groupMax_[c] >> 11)));
    // Minus the minimum, computed wide: the smallest 32-bit sample has no 32-bit negation.
    int64_t negative = -int64_t{groupMin_[c]};
    peakBuffer_.push_back(static_cast<uint8_t>(std::min<int64_t>(255, negative >> 11)));
    groupMax_[c] = 0;
    groupMin_[c] = 0;
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
  FlushPeaks();
  SetFramesWritten(frame);
  if (audioFile_) audioFile_->SetPosition(int64_t{frame} * Channels() * 4);
  peakFile_.SetPosition(int64_t{frame / kGroupFrames} * Channels() * 2);
  std::fill(groupMax_.begin(), groupMax_.end(), 0);
  std::fill(groupMin_.begin(), groupMin_.end(), 0);
  groupFill_ = frame % kGroupFrames;
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
