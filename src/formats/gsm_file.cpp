#include "formats/gsm_file.h"

#include <algorithm>
#include <limits>

#include "audio/error_stream.h"
#include "audio/sample_format.h"
#include "formats/mono_read_rule.h"
#include "formats/readable_file.h"

namespace klangor {
namespace {

constexpr int64_t kReadAheadFrames = 256;

}  // namespace

// --- LGsmStream ---

LGsmStream::LGsmStream(const std::string& path)
    : LSoundStream(kGsmSampleRate, kGsmFullScale, 1), file_(OpenReadableFile(path)) {
  if (!file_.IsOpen()) SetState(LStreamState::kCannotOpen);
}

int64_t LGsmStream::LengthSamples() const {
  if (!file_.IsOpen()) return 0;
  return std::max<int64_t>(file_.Size(), 0) / kGsmFrameBytes * kGsmFrameSamples;
}

int32_t LGsmStream::Length() const {
  return SaturateToInt32(LengthSamples());
}

int32_t LGsmStream::Position() const {
  return SaturateToInt32(positionSamples_);
}

void LGsmStream::Seek(int32_t frame) {
  positionSamples_ = frame;
  MoveTo(std::clamp<int64_t>(frame, 0, LengthSamples()));
}

void LGsmStream::MoveTo(int64_t sample) {
  decoder_ = LGsmDecoder();
  bytes_.clear();
  bytesUsed_ = 0;
  nextFileFrame_ = sample / kGsmFrameSamples;
  cursorSample_ = sample;
  keptIndex_ = kGsmFrameSamples;
  if (sample % kGsmFrameSamples != 0) {
    DecodeNextFrame(kept_);
    keptIndex_ = static_cast<int>(sample % kGsmFrameSamples);
  }
}

void LGsmStream::DecodeNextFrame(int32_t* out) {
  if (bytesUsed_ + kGsmFrameBytes > bytes_.size()) {
    bytes_.resize(static_cast<size_t>(kReadAheadFrames * kGsmFrameBytes));
    const int64_t got = file_.IsOpen() ? file_.ReadAt(nextFileFrame_ * kGsmFrameBytes, bytes_.data(),
                                                      static_cast<int64_t>(bytes_.size()))
                                       : 0;
    bytes_.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    bytesUsed_ = 0;
  }
  ++nextFileFrame_;
  if (bytesUsed_ + kGsmFrameBytes > bytes_.size()) {
    std::fill_n(out, kGsmFrameSamples, 0);  // the file ended early
    return;
  }
  LGsmParameters parameters;
  UnpackGsmFrame(bytes_.data() + bytesUsed_, &parameters);
  bytesUsed_ += kGsmFrameBytes;
  decoder_.Decode(parameters, out);
}

void LGsmStream::Take(int32_t* out, int64_t count) {
  cursorSample_ += count;
  while (count > 0) {
    if (keptIndex_ < kGsmFrameSamples) {
      const int64_t n = std::min<int64_t>(count, kGsmFrameSamples - keptIndex_);
      std::copy_n(kept_ + keptIndex_, n, out);
      keptIndex_ += static_cast<int>(n);
      out += n;
      count -= n;
    } else if (count >= kGsmFrameSamples) {
      DecodeNextFrame(out);
      out += kGsmFrameSamples;
      count -= kGsmFrameSamples;
    } else {
      DecodeNextFrame(kept_);
      keptIndex_ = 0;
    }
  }
}

void LGsmStream::Read(int32_t* frames, int32_t frameCount) {
  ReadMonoWithinLength(positionSamples_, LengthSamples(), frames, frameCount,
                       [this](int64_t first, int64_t samples, int32_t* out) {
                         if (cursorSample_ != first) MoveTo(first);
                         Take(out, samples);
                       });
}

// --- LGsmSink ---

LGsmSink::LGsmSink(const std::string& path) : LSoundSink(kGsmSampleRate, 1) {
  LFile file = LFile::Open(path, LFileMode::kCreateAlways);
  if (!file.IsOpen()) {
    SetError(kCannotWrite);
    return;
  }
  out_ = std::make_unique<LSequentialWriter>(std::move(file), LWriteMode::kBackground);
}

LGsmSink::~LGsmSink() { Finish(); }

void LGsmSink::EncodeFrame(const int32_t* samples) {
  LGsmParameters parameters;
  encoder_.Encode(samples, &parameters);
  uint8_t bytes[kGsmFrameBytes];
  PackGsmFrame(parameters, bytes);
  out_->Write(bytes, kGsmFrameBytes);
}

void LGsmSink::Write(const int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  if (int64_t{FramesWritten()} + frameCount > std::numeric_limits<int32_t>::max()) {
    Fail();
    return;
  }
  AddFramesWritten(frameCount);
  if (!out_) {
    SetError(kCannotWrite);
    return;
  }
  int64_t done = 0;
  if (partialCount_ > 0) {
    const int64_t n = std::min<int64_t>(frameCount, kGsmFrameSamples - partialCount_);
    std::copy_n(frames, n, partial_ + partialCount_);
    partialCount_ += static_cast<int>(n);
    done = n;
    if (partialCount_ == kGsmFrameSamples) {
      EncodeFrame(partial_);
      partialCount_ = 0;
    }
  }
  for (; frameCount - done >= kGsmFrameSamples; done += kGsmFrameSamples) EncodeFrame(frames + done);
  if (done < frameCount) {
    std::copy(frames + done, frames + frameCount, partial_);
    partialCount_ = static_cast<int>(frameCount - done);
  }
  if (out_->Failed()) Fail();
}

void LGsmSink::Seek(int32_t frame) {
  if (frame > FramesWritten()) return;
  const int64_t frames = std::max(frame, 0) / kGsmFrameSamples;
  SetFramesWritten(static_cast<int32_t>(frames * kGsmFrameSamples));
  partialCount_ = 0;
  if (!out_) return;
  if (!out_->File().Truncate(frames * kGsmFrameBytes)) {
    Fail();
    return;
  }
  out_->SetPosition(frames * kGsmFrameBytes);
}

void LGsmSink::Finish() {
  if (!out_) return;
  if (partialCount_ > 0) {
    std::fill(partial_ + partialCount_, partial_ + kGsmFrameSamples, 0);
    EncodeFrame(partial_);
    partialCount_ = 0;
  }
  if (!out_->Flush()) SetError(kCannotWrite);
  out_.reset();
}

void LGsmSink::Fail() {
  SetError(kCannotWrite);
  out_.reset();
}

LRef<LSoundStream> OpenGsmFile(const std::string& path) { return MakeRef<LGsmStream>(path); }

LRef<LSoundSink> CreateGsmFile(const std::string& path, int32_t /*sampleRate*/, int /*channels*/) {
  return MakeRef<LGsmSink>(path);
}

}  // namespace klangor
