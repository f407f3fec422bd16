#include "formats/pcm_file.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "audio/sample_format.h"
#include "formats/g711.h"
#include "platform/paths.h"

namespace klangor {
namespace {

// Streams and sinks convert in pieces of this many frames.
constexpr int64_t kPieceFrames = 8192;

void DecodeS8(const uint8_t* in, int32_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<int8_t>(in[i]) * 4096;
}

void EncodeS8(const int32_t* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    // Unsigned arithmetic: the kept low bits are those of the exact result, without overflow.
    out[i] = static_cast<uint8_t>((static_cast<uint32_t>(KeepBelowEightBitTop(in[i])) + 2048u) >> 12);
  }
}

void DecodeS16Be(const uint8_t* in, int32_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    auto s = static_cast<int16_t>(static_cast<uint16_t>(in[2 * i] << 8 | in[2 * i + 1]));
    out[i] = s * 16;
  }
}

void EncodeS16Be(const int32_t* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = (static_cast<uint32_t>(in[i]) + 8u) >> 4;
    out[2 * i] = static_cast<uint8_t>(u >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(u);
  }
}

}  // namespace

int PcmBytesPerSample(LPcmCodec codec) {
  switch (codec) {
    case LPcmCodec::k16BitLittleEndian:
    case LPcmCodec::k16BitBigEndian: return 2;
    case LPcmCodec::k24BitLittleEndian: return 3;
    case LPcmCodec::k32BitLittleEndian: return 4;
    default: return 1;
  }
}

int32_t PcmFullScale(LPcmCodec codec) {
  return codec == LPcmCodec::kMuLaw || codec == LPcmCodec::kALaw ? kG711FullScale : kFullScale16;
}

void DecodePcm(LPcmCodec codec, const uint8_t* in, int32_t* out, size_t sampleCount) {
  switch (codec) {
    case LPcmCodec::kMuLaw: DecodeMuLaw(in, out, sampleCount); break;
    case LPcmCodec::kALaw: DecodeALaw(in, out, sampleCount); break;
    case LPcmCodec::k16BitLittleEndian: DecodeSamples(LSampleWidth::k16Bit, in, out, sampleCount); break;
    case LPcmCodec::k8BitUnsigned: DecodeSamples(LSampleWidth::k8Bit, in, out, sampleCount); break;
    case LPcmCodec::k8BitSigned: DecodeS8(in, out, sampleCount); break;
    case LPcmCodec::k16BitBigEndian: DecodeS16Be(in, out, sampleCount); break;
    case LPcmCodec::k24BitLittleEndian: DecodeSamples(LSampleWidth::k24Bit, in, out, sampleCount); break;
    case LPcmCodec::k32BitLittleEndian: DecodeSamples(LSampleWidth::k32Bit, in, out, sampleCount); break;
  }
}

void EncodePcm(LPcmCodec codec, const int32_t* in, uint8_t* out, size_t sampleCount) {
  switch (codec) {
    case LPcmCodec::kMuLaw: EncodeMuLaw(in, out, sampleCount); break;
    case LPcmCodec::kALaw: EncodeALaw(in, out, sampleCount); break;
    case LPcmCodec::k16BitLittleEndian: EncodeSamples(LSampleWidth::k16Bit, in, out, sampleCount); break;
    case LPcmCodec::k8BitUnsigned: EncodeSamples(LSampleWidth::k8Bit, in, out, sampleCount); break;
    case LPcmCodec::k8BitSigned: EncodeS8(in, out, sampleCount); break;
    case LPcmCodec::k16BitBigEndian: EncodeS16Be(in, out, sampleCount); break;
    case LPcmCodec::k24BitLittleEndian: EncodeSamples(LSampleWidth::k24Bit, in, out, sampleCount); break;
    case LPcmCodec::k32BitLittleEndian: EncodeSamples(LSampleWidth::k32Bit, in, out, sampleCount); break;
  }
}

// --- LPcmFileStream ---

LPcmFileStream::LPcmFileStream(LFile file, LPcmCodec codec, int32_t sampleRate, int channels,
                               int64_t dataStartBytes, int64_t lengthFrames)
    : LSoundStream(sampleRate, PcmFullScale(codec), channels),
      file_(std::move(file)),
      codec_(codec),
      dataStartBytes_(std::max<int64_t>(dataStartBytes, 0)),
      frameBytes_(int64_t{Channels()} * PcmBytesPerSample(codec)),
      lengthFrames_(lengthFrames < 0 ? kLengthToEndOfFile : lengthFrames) {
  if (!file_.IsOpen()) {
    SetState(LStreamState::kCannotOpen);
    return;
  }
  // A header that claims more than the file holds (a damaged or cut-off file) counts only the
  // frames that are there, a last partial frame included, so that loading it cannot write
  // gigabytes of silence.
  if (lengthFrames_ >= 0) {
    const int64_t available = std::max<int64_t>(file_.Size() - dataStartBytes_, 0);
    lengthFrames_ = std::min(lengthFrames_, (available + frameBytes_ - 1) / frameBytes_);
  }
}

int64_t LPcmFileStream::LengthFrames() const {
  if (lengthFrames_ >= 0) return lengthFrames_;
  if (!file_.IsOpen()) return 0;
  return std::max<int64_t>(file_.Size() - dataStartBytes_, 0) / frameBytes_;
}

int32_t LPcmFileStream::Length() const {
  return SaturateToInt32(LengthFrames());
}

int32_t LPcmFileStream::Position() const {
  return SaturateToInt32(positionFrames_);
}

void LPcmFileStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  const int64_t first = positionFrames_;
  positionFrames_ += frameCount;
  const auto channels = static_cast<size_t>(Channels());
  for (int64_t done = 0; done < frameCount;) {
    const int64_t piece = std::min<int64_t>(frameCount - done, kPieceFrames);
    ReadPiece(first + done, piece, frames + static_cast<size_t>(done) * channels);
    done += piece;
  }
}

// Frames [first, first + count): the file's frames inside [0, length), zeros elsewhere.
void LPcmFileStream::ReadPiece(int64_t first, int64_t count, int32_t* out) {
  const auto channels = static_cast<size_t>(Channels());
  const size_t total = static_cast<size_t>(count) * channels;
  const int64_t inFirst = std::max<int64_t>(first, 0);
  int64_t inEnd = first + count;
  if (lengthFrames_ >= 0) inEnd = std::min(inEnd, lengthFrames_);
  if (inFirst >= inEnd || !file_.IsOpen()) {
    std::fill_n(out, total, 0);
    return;
  }
  const size_t before = static_cast<size_t>(inFirst - first) * channels;
  std::fill_n(out, before, 0);
  if (buffer_.empty()) buffer_.resize(static_cast<size_t>(kPieceFrames * frameBytes_));
  const int64_t bytes = (inEnd - inFirst) * frameBytes_;
  const int64_t got = std::clamp<int64_t>(
      file_.ReadAt(dataStartBytes_ + inFirst * frameBytes_, buffer_.data(), bytes), 0, bytes);
  // Every whole sample the file delivers counts; the rest of the piece is silence.
  const auto samples = static_cast<size_t>(got / PcmBytesPerSample(codec_));
  DecodePcm(codec_, buffer_.data(), out + before, samples);
  std::fill(out + before + samples, out + total, 0);
}

// --- LPcmFileSink ---

LPcmFileSink::LPcmFileSink(const std::string& path, LPcmCodec codec, int32_t sampleRate,
                           int channels, const LPcmSinkOptions& options)
    : LSoundSink(sampleRate, channels),
      folder_(FolderOf(path)),
      codec_(codec),
      header_(options.header),
      plannedDataBytes_(options.plannedDataBytes),
      frameBytes_(int64_t{Channels()} * PcmBytesPerSample(codec)) {
  if (sampleRate <= 0) SetError(kCannotWrite);
  if (Failed()) return;  // an unusable layout: leave any existing file alone
  LFile file = LFile::Open(path, LFileMode::kOpenOrCreate);
  if (!file.IsOpen()) {
    SetError(kCannotWrite);
    return;
  }
  if (header_ != nullptr) {
    openHeader_ = Header(false);
    dataStartBytes_ = static_cast<int64_t>(openHeader_.size());
    if (!file.WriteAt(0, openHeader_.data(), dataStartBytes_)) {
      SetError(kCannotWrite);
      return;
    }
  }
  int64_t keptFrames = 0;
  if (options.startFrame > 0) {
    const int64_t existingFrames = std::max<int64_t>(file.Size() - dataStartBytes_, 0) / frameBytes_;
    keptFrames = std::min<int64_t>(options.startFrame, existingFrames);
  }
  SetFramesWritten(static_cast<int32_t>(keptFrames));
  const int64_t dataEnd = dataStartBytes_ + keptFrames * frameBytes_;
  if (!file.Truncate(dataEnd)) {
    SetError(kCannotWrite);
    return;
  }
  file.SetPosition(dataEnd);
  out_ = std::make_unique<LSequentialWriter>(std::move(file), options.mode);
}

LPcmFileSink::~LPcmFileSink() { Finish(); }

std::vector<uint8_t> LPcmFileSink::Header(bool finished) const {
  return header_({SampleRate(), Channels(), int64_t{FramesWritten()} * frameBytes_, finished, plannedDataBytes_});
}

bool LPcmFileSink::WriteOpenHeader(bool resized) {
  openHeader_ = Header(false);
  LFile& file = out_->File();
  if (!file.WriteAt(0, openHeader_.data(), static_cast<int64_t>(openHeader_.size()))) return false;
  if (!resized) return true;
  dataStartBytes_ = static_cast<int64_t>(openHeader_.size());
  if (!file.Truncate(dataStartBytes_)) return false;
  out_->SetPosition(dataStartBytes_);
  return true;
}

int64_t LPcmFileSink::ExpectFrames(int64_t frameCount) {
  if (!out_ || frameCount < 0) return -1;
  if (header_ != nullptr && FramesWritten() == 0 && plannedDataBytes_ != kGrowingData) {
    plannedDataBytes_ = frameCount * frameBytes_;
    if (!WriteOpenHeader(/*resized=*/true)) {
      Fail();
      return -1;
    }
  }
  const int64_t moreBytes = frameCount * frameBytes_;
  const int64_t freeBytes = FreeBytesAvailable(folder_);
  if (freeBytes >= 0 && moreBytes > freeBytes) {
    SetError(kNoSpace);
    Fail();
  }
  return dataStartBytes_ + int64_t{FramesWritten()} * frameBytes_ + moreBytes;
}

void LPcmFileSink::Write(const int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  if (int64_t{FramesWritten()} + frameCount > std::numeric_limits<int32_t>::max()) {
    Fail();  // beyond the largest frame position
    return;
  }
  AddFramesWritten(frameCount);
  if (!out_) {
    SetError(kCannotWrite);  // never created, already failed, or already finished
    return;
  }
  if (buffer_.empty()) buffer_.resize(static_cast<size_t>(kPieceFrames * frameBytes_));
  const auto channels = static_cast<size_t>(Channels());
  for (int64_t done = 0; done < frameCount;) {
    const int64_t piece = std::min<int64_t>(frameCount - done, kPieceFrames);
    EncodePcm(codec_, frames + static_cast<size_t>(done) * channels, buffer_.data(),
              static_cast<size_t>(piece) * channels);
    out_->Write(buffer_.data(), piece * frameBytes_);
    done += piece;
  }
  // A growing file's header follows its size (it may need another form past 4 GB).
  if (header_ != nullptr && plannedDataBytes_ == kGrowingData && Header(false) != openHeader_ &&
      !WriteOpenHeader(/*resized=*/false)) {
    Fail();
    return;
  }
  if (out_->Failed()) Fail();
}

void LPcmFileSink::Seek(int32_t frame) {
  if (frame > FramesWritten()) return;
  frame = std::max(frame, 0);
  SetFramesWritten(frame);
  if (!out_) return;
  const int64_t offset = dataStartBytes_ + int64_t{frame} * frameBytes_;
  if (!out_->File().Truncate(offset)) {
    Fail();
    return;
  }
  out_->SetPosition(offset);
}

void LPcmFileSink::Finish() {
  if (!out_) return;
  if (!out_->Flush()) {
    Fail();
    return;
  }
  if (header_ != nullptr) {
    std::vector<uint8_t> bytes = Header(true);
    if (!out_->File().WriteAt(0, bytes.data(), static_cast<int64_t>(bytes.size()))) {
      SetError(kCannotWrite);
    }
  }
  out_.reset();
}

// A failed output stays failed: whatever reached the disk stays, later writes are dropped.
void LPcmFileSink::Fail() {
  SetError(kCannotWrite);
  out_.reset();
}

}  // namespace klangor
