#include "formats/vox.h"

#include <algorithm>
#include <limits>

#include "audio/sample_format.h"
#include "formats/mono_read_rule.h"
#include "formats/readable_file.h"

namespace klangor {
namespace {

constexpr int32_t kStepTable[49] = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,  45,   50,   55,   60,   66,   73,
    80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209, 230,  253,  279,  307,  337,  371,
    408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};
constexpr int32_t kMultiplier[16] = {16,  48,  80,  112,  144,  176,  208,  240,
                                     -16, -48, -80, -112, -144, -176, -208, -240};
constexpr int32_t kIndexChange[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

constexpr int64_t kReadAheadBytes = 8192;
constexpr int64_t kPieceSamples = 16384;  // per write: one buffer of 8192 bytes

int32_t Step(LAdpcmState& state) {
  state.stepIndex = std::clamp(state.stepIndex, 0, 48);
  return kStepTable[state.stepIndex];
}

}  // namespace

int32_t DecodeVoxCode(LAdpcmState& state, uint8_t code) {
  code &= 15;
  const int32_t step = Step(state);
  state.predictor = state.predictor - (state.predictor >> 6) + step * kMultiplier[code];
  state.stepIndex += kIndexChange[code];
  return state.predictor;
}

uint8_t EncodeVoxSample(LAdpcmState& state, int32_t sample) {
  const int32_t step = Step(state);
  const int32_t predicted = state.predictor - (state.predictor >> 6);
  int64_t q = (int64_t{sample} - predicted) / step;  // toward zero
  uint8_t code = 0;
  if (q < 0) {
    code = 8;
    q = -q;
  }
  if (q > 131) {
    code |= 4;
    q -= 132;
  }
  if (q > 65) {
    code |= 2;
    q -= 66;
  }
  if (q > 32) code |= 1;
  state.predictor = predicted + kMultiplier[code] * step;
  state.stepIndex += kIndexChange[code];
  return code;
}

// --- LVoxStream ---

LVoxStream::LVoxStream(const std::string& path, int32_t sampleRate)
    : LSoundStream(sampleRate, kVoxFullScale, 1), file_(OpenReadableFile(path)) {
  if (!file_.IsOpen()) SetState(LStreamState::kCannotOpen);
}

int64_t LVoxStream::LengthSamples() const {
  return file_.IsOpen() ? std::max<int64_t>(file_.Size(), 0) * 2 : 0;
}

int32_t LVoxStream::Length() const {
  return SaturateToInt32(LengthSamples());
}

int32_t LVoxStream::Position() const {
  return SaturateToInt32(positionSamples_);
}

void LVoxStream::Seek(int32_t frame) {
  positionSamples_ = frame;
  if (frame <= 0) {
    state_ = LAdpcmState();
    decoderSample_ = -1;  // restart even when the decoder is at 0 already
    MoveDecoderTo(0);
  } else {
    MoveDecoderTo(std::min<int64_t>(frame, LengthSamples()));
  }
}

void LVoxStream::MoveDecoderTo(int64_t sample) {
  if (sample == decoderSample_) return;  // already there, with the right state
  bytes_.clear();
  bytesUsed_ = 0;
  bytesFileOffset_ = sample / 2;
  decoderSample_ = sample & ~int64_t{1};
  lowNibblePending_ = false;
  if ((sample & 1) != 0) {
    // The byte's second code comes next; the first is skipped like everything before it.
    uint8_t byte = 0;
    NextByte(&byte);
    pendingByte_ = byte;
    lowNibblePending_ = true;
    decoderSample_ = sample;
  }
}

bool LVoxStream::NextByte(uint8_t* byte) {
  if (bytesUsed_ >= bytes_.size()) {
    bytes_.resize(kReadAheadBytes);
    const int64_t got = file_.IsOpen() ? file_.ReadAt(bytesFileOffset_, bytes_.data(), kReadAheadBytes) : 0;
    bytes_.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    bytesUsed_ = 0;
    bytesFileOffset_ += static_cast<int64_t>(bytes_.size());
    if (bytes_.empty()) return false;
  }
  *byte = bytes_[bytesUsed_++];
  return true;
}

void LVoxStream::Decode(int32_t* out, int64_t count) {
  int64_t i = 0;
  if (count > 0 && lowNibblePending_) {
    out[i++] = DecodeVoxCode(state_, pendingByte_ & 15);
    lowNibblePending_ = false;
  }
  while (i < count) {
    uint8_t byte;
    if (!NextByte(&byte)) {
      std::fill(out + i, out + count, 0);  // the file ended early
      break;
    }
    out[i++] = DecodeVoxCode(state_, byte >> 4);
    if (i < count) {
      out[i++] = DecodeVoxCode(state_, byte & 15);
    } else {
      pendingByte_ = byte;
      lowNibblePending_ = true;
    }
  }
  decoderSample_ += count;
}

void LVoxStream::Read(int32_t* frames, int32_t frameCount) {
  ReadMonoWithinLength(positionSamples_, LengthSamples(), frames, frameCount,
                       [this](int64_t first, int64_t samples, int32_t* out) {
                         if (decoderSample_ != first) MoveDecoderTo(first);
                         Decode(out, samples);
                       });
}

// --- LVoxSink ---

LVoxSink::LVoxSink(const std::string& path, int32_t sampleRate) : LSoundSink(sampleRate, 1) {
  if (sampleRate <= 0) {
    SetError(kCannotWrite);
    return;
  }
  LFile file = LFile::Open(path, LFileMode::kCreateAlways);
  if (!file.IsOpen()) {
    SetError(kCannotWrite);
    return;
  }
  out_ = std::make_unique<LSequentialWriter>(std::move(file), LWriteMode::kBackground);
}

LVoxSink::~LVoxSink() { Finish(); }

void LVoxSink::Write(const int32_t* frames, int32_t frameCount) {
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
  if (buffer_.empty()) buffer_.resize(kPieceSamples / 2);
  for (int64_t done = 0; done < frameCount;) {
    const int64_t piece = std::min<int64_t>(frameCount - done, kPieceSamples);
    size_t bytes = 0;
    for (int64_t i = done; i < done + piece; ++i) {
      const uint8_t code = EncodeVoxSample(state_, frames[i]);
      if (highNibblePending_) {
        buffer_[bytes++] = static_cast<uint8_t>(pendingCode_ << 4 | code);
        highNibblePending_ = false;
      } else {
        pendingCode_ = code;
        highNibblePending_ = true;
      }
    }
    out_->Write(buffer_.data(), static_cast<int64_t>(bytes));
    done += piece;
  }
  if (out_->Failed()) Fail();
}

void LVoxSink::Seek(int32_t frame) {
  if (frame > FramesWritten()) return;
  frame = std::max(frame, 0) & ~1;
  SetFramesWritten(frame);
  highNibblePending_ = false;
  if (!out_) return;
  if (!out_->File().Truncate(frame / 2)) {
    Fail();
    return;
  }
  out_->SetPosition(frame / 2);
}

void LVoxSink::Finish() {
  if (!out_) return;
  if (!out_->Flush()) SetError(kCannotWrite);
  out_.reset();
}

void LVoxSink::Fail() {
  SetError(kCannotWrite);
  out_.reset();
}

}  // namespace klangor
