#include "formats/wav_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "audio/error_stream.h"
#include "audio/sample_format.h"
#include "platform/sequential_writer.h"
#include "platform/file.h"

namespace klangor {
namespace {

// Streams and sinks convert in pieces of this many frames.
constexpr int64_t kPieceFrames = 8192;

constexpr int32_t kMaxChannels = 255;
constexpr uint32_t kMaxSampleRate = 196000;
constexpr int32_t kMinFmtBytes = 16;
constexpr int32_t kMaxFmtBytes = 8192;
constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
// What the RIFF size counts besides the data: "WAVE", the "fmt " chunk and the data header.
constexpr int64_t kRiffOverheadBytes = kWaveHeaderBytes - 8;

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool IsTag(const uint8_t* p, const char (&tag)[5]) { return std::memcmp(p, tag, 4) == 0; }

int64_t RoundUpToEven(int64_t bytes) { return (bytes + 1) & ~int64_t{1}; }

// Small reads at increasing offsets for the chunk walk, served from a window so that a file
// made of tiny chunks costs memory copies rather than a system call per chunk.
class LChunkReader {
 public:
  explicit LChunkReader(const LFile& file) : file_(file), window_(kWindowBytes) {}

  // Copies exactly `bytes` (at most the window size) from `offset`; false when the file
  // ends first.
  bool ReadExact(int64_t offset, void* out, int64_t bytes) {
    if (offset < 0 || bytes < 0 || bytes > kWindowBytes) return false;
    if (offset < windowStart_ || offset + bytes > windowStart_ + windowFilled_) {
      int64_t got = file_.ReadAt(offset, window_.data(), kWindowBytes);
      windowStart_ = offset;
      windowFilled_ = std::max<int64_t>(got, 0);
      if (windowFilled_ < bytes) return false;
    }
    std::memcpy(out, window_.data() + (offset - windowStart_), static_cast<size_t>(bytes));
    return true;
  }

 private:
  static constexpr int64_t kWindowBytes = 65536;
  const LFile& file_;
  std::vector<uint8_t> window_;
  int64_t windowStart_ = 0;
  int64_t windowFilled_ = 0;
};

// Where the audio of a WAVE file is and how it is laid out.
struct LWaveLayout {
  LWaveFormat format;
  int64_t dataStart = 0;     // file offset of the first sample byte
  uint32_t dataBytes = 0;    // the data chunk's size field (all ones: up to the file's end)
};

// Finds the RIFF WAVE form (skipping anything before it), the "fmt " chunk and then the
// "data" chunk. Every step moves forward by at least 8 bytes, and a read past the end of
// the file ends the walk, so it terminates on any input.
LStreamState WalkChunks(const LFile& file, LWaveLayout* layout) {
  LChunkReader reader(file);
  uint8_t header[12];
  int64_t offset = 0;

  // Identifier, size, form: until "RIFF" with form "WAVE", skip whatever chunk is there.
  for (;;) {
    if (!reader.ReadExact(offset, header, 12)) return LStreamState::kCorrupt;
    if (IsTag(header, "RIFF") && IsTag(header + 8, "WAVE")) break;
    int64_t size = RoundUpToEven(static_cast<int32_t>(Get32(header + 4)));
    if (size <= 4) return LStreamState::kCorrupt;
    offset += 8 + size;
  }
  offset += 12;

  // Chunks up to "fmt "; a negative size of a skipped chunk is corrupt.
  for (;;) {
    if (!reader.ReadExact(offset, header, 8)) return LStreamState::kCorrupt;
    auto size = static_cast<int32_t>(Get32(header + 4));
    if (IsTag(header, "fmt ")) {
      if (size < kMinFmtBytes || size > kMaxFmtBytes) return LStreamState::kCorrupt;
      uint8_t fmt[kMaxFmtBytes];
      if (!reader.ReadExact(offset + 8, fmt, size)) return LStreamState::kCorrupt;
      std::optional<LWaveFormat> format = ParseWaveFormat(fmt, static_cast<size_t>(size));
      if (!format) return LStreamState::kCorrupt;
      layout->format = std::move(*format);
      // The walk goes on right after the bytes read, as the record's size says.
      offset += 8 + size;
      break;
    }
    if (size < 0) return LStreamState::kCorrupt;
    offset += 8 + RoundUpToEven(size);
  }

  // Chunks up to "data" ("fact", "LIST" and anything else are skipped).
  for (;;) {
    if (!reader.ReadExact(offset, header, 8)) return LStreamState::kCorrupt;
    if (IsTag(header, "data")) {
      layout->dataStart = offset + 8;
      layout->dataBytes = Get32(header + 4);
      break;
    }
    auto size = static_cast<int32_t>(Get32(header + 4));
    if (size < 0) return LStreamState::kCorrupt;
    offset += 8 + RoundUpToEven(size);
  }

  const LWaveFormat& format = layout->format;
  if (format.channels < 1 || format.channels > kMaxChannels) return LStreamState::kCorrupt;
  if (format.samplesPerSec < 1 || format.samplesPerSec > kMaxSampleRate) {
    return LStreamState::kCorrupt;
  }
  return LStreamState::kOk;
}

// Uncompressed PCM read straight from the file: one positioned read and one conversion per
// piece of up to 8192 frames.
class LWaveFileStream final : public LSoundStream {
 public:
  LWaveFileStream(LFile file, const LWaveLayout& layout, LSampleWidth width,
                  int32_t lengthFrames)
      : LSoundStream(static_cast<int32_t>(layout.format.samplesPerSec), kFullScale16,
                     layout.format.channels),
        file_(std::move(file)),
        width_(width),
        dataStart_(layout.dataStart),
        frameBytes_(int64_t{layout.format.channels} * BytesPerSample(width)),
        lengthFrames_(lengthFrames) {}

  void Read(int32_t* frames, int32_t frameCount) override {
    if (frameCount <= 0) return;
    const int64_t first = positionFrames_;
    positionFrames_ += frameCount;
    const size_t channels = static_cast<size_t>(Channels());
    for (int64_t done = 0; done < frameCount;) {
      int64_t piece = std::min<int64_t>(frameCount - done, kPieceFrames);
      ReadPiece(first + done, piece, frames + static_cast<size_t>(done) * channels);
      done += piece;
    }
  }

  int32_t Position() const override {
    return static_cast<int32_t>(std::clamp<int64_t>(positionFrames_,
                                                    std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
  }
  int32_t Length() const override { return lengthFrames_; }
  void Seek(int32_t frame) override { positionFrames_ = frame; }

 private:
  // Frames [first, first + count): zeros outside [0, length), the file's samples inside.
  void ReadPiece(int64_t first, int64_t count, int32_t* out) {
    const auto channels = static_cast<size_t>(Channels());
    const int64_t end = first + count;
    const int64_t inFirst = std::clamp<int64_t>(first, 0, lengthFrames_);
    const int64_t inEnd = std::clamp<int64_t>(end, 0, lengthFrames_);
    if (inFirst >= inEnd) {
      std::fill_n(out, static_cast<size_t>(count) * channels, 0);
      return;
    }
    std::fill_n(out, static_cast<size_t>(inFirst - first) * channels, 0);
    const int64_t frames = inEnd - inFirst;
    const int64_t bytes = frames * frameBytes_;
    if (buffer_.empty()) buffer_.resize(static_cast<size_t>(kPieceFrames * frameBytes_));
    int64_t got = file_.ReadAt(dataStart_ + inFirst * frameBytes_, buffer_.data(), bytes);
    got = std::clamp<int64_t>(got, 0, bytes);
    // Samples the file does not deliver (a truncated data chunk) are silence, which for
    // unsigned 8-bit data is not a zero byte: zero the decoded samples instead.
    const auto wanted = static_cast<size_t>(frames) * channels;
    const auto delivered = static_cast<size_t>(got / BytesPerSample(width_));
    int32_t* inOut = out + static_cast<size_t>(inFirst - first) * channels;
    DecodeSamples(width_, buffer_.data(), inOut, delivered);
    std::fill_n(inOut + delivered, wanted - delivered, 0);
    std::fill_n(inOut + wanted, static_cast<size_t>(end - inEnd) * channels, 0);
  }

  LFile file_;
  LSampleWidth width_;
  int64_t dataStart_;
  int64_t frameBytes_;
  int32_t lengthFrames_;
  int64_t positionFrames_ = 0;  // wider than a frame position so reads never overflow it
  std::vector<uint8_t> buffer_;  // allocated by the first read that touches the file
};

// The PCM writer.
class LWaveFileSink final : public LSoundSink {
 public:
  LWaveFileSink(const std::string& path, int channels, LSampleWidth width, int32_t sampleRate,
                int32_t startFrame, LWriteMode mode)
      : LSoundSink(sampleRate, channels),
        width_(width),
        frameBytes_(int64_t{Channels()} * BytesPerSample(width)) {
    if (sampleRate <= 0) SetError(kCannotWrite);
    if (Failed()) return;  // an unusable layout: leave any existing file alone
    LFile file = LFile::Open(path, LFileMode::kOpenOrCreate);
    if (!file.IsOpen() || !WriteHeader(file, kAllOnes, kAllOnes)) {
      SetError(kCannotWrite);
      return;
    }
    int64_t keptFrames = 0;
    if (startFrame > 0) {
      int64_t fileBytes = file.Size();
      int64_t existingFrames = std::max<int64_t>(fileBytes - kWaveHeaderBytes, 0) / frameBytes_;
      keptFrames = std::min<int64_t>(startFrame, existingFrames);
    }
    SetFramesWritten(static_cast<int32_t>(keptFrames));
    if (!file.Truncate(DataOffset(keptFrames))) {
      SetError(kCannotWrite);
      return;
    }
    file.SetPosition(DataOffset(keptFrames));
    out_ = std::make_unique<LSequentialWriter>(std::move(file), mode);
  }

  ~LWaveFileSink() override { Finish(); }

  void Write(const int32_t* frames, int32_t frameCount) override {
    if (frameCount <= 0) return;
    const int64_t first = FramesWritten();
    if (first + frameCount > std::numeric_limits<int32_t>::max()) {
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
      int64_t piece = std::min<int64_t>(frameCount - done, kPieceFrames);
      EncodeSamples(width_, frames + static_cast<size_t>(done) * channels, buffer_.data(),
                    static_cast<size_t>(piece) * channels);
      out_->Write(buffer_.data(), piece * frameBytes_);
      done += piece;
    }
    if (out_->Failed()) Fail();
  }

  // Only backwards: the file is cut at the new position.
  void Seek(int32_t frame) override {
    if (frame > FramesWritten()) return;
    frame = std::max(frame, 0);
    SetFramesWritten(frame);
    if (!out_) return;
    if (!out_->File().Truncate(DataOffset(frame))) {
      Fail();
      return;
    }
    out_->SetPosition(DataOffset(frame));
  }

  // Patches both sizes and closes the file. Data beyond what 32 bits can count keeps the
  // all-ones sizes, which read as "up to the end of the file".
  void Finish() override {
    if (!out_) return;
    if (!out_->Flush()) {
      Fail();
      return;
    }
    const int64_t dataBytes = int64_t{FramesWritten()} * frameBytes_;
    uint32_t riffSize = kAllOnes;
    uint32_t dataSize = kAllOnes;
    if (dataBytes + kRiffOverheadBytes <= int64_t{kAllOnes}) {
      riffSize = static_cast<uint32_t>(dataBytes + kRiffOverheadBytes);
      dataSize = static_cast<uint32_t>(dataBytes);
    }
    if (!WriteHeader(out_->File(), riffSize, dataSize)) SetError(kCannotWrite);
    out_.reset();
  }

 private:
  int64_t DataOffset(int64_t frame) const { return kWaveHeaderBytes + frame * frameBytes_; }

  bool WriteHeader(LFile& file, uint32_t riffSize, uint32_t dataSize) {
    std::array<uint8_t, kWaveHeaderBytes> header{};
    std::memcpy(header.data(), "RIFF", 4);
    Put32(header.data() + 4, riffSize);
    std::memcpy(header.data() + 8, "WAVEfmt ", 8);
    Put32(header.data() + 16, static_cast<uint32_t>(kWaveFormatFixedBytes));
    std::vector<uint8_t> fmt =
        SerializeWaveFormat(MakePcmFormat(SampleRate(), Channels(), 8 * BytesPerSample(width_)));
    std::memcpy(header.data() + 20, fmt.data(), kWaveFormatFixedBytes);
    std::memcpy(header.data() + 38, "data", 4);
    Put32(header.data() + 42, dataSize);
    return file.WriteAt(0, header.data(), kWaveHeaderBytes);
  }

  // A failed output stays failed: the file is closed with its all-ones sizes, so whatever
  // reached the disk still reads, and later writes are dropped.
  void Fail() {
    SetError(kCannotWrite);
    out_.reset();
  }

  std::unique_ptr<LSequentialWriter> out_;
  LSampleWidth width_;
  int64_t frameBytes_;
  std::vector<uint8_t> buffer_;  // allocated by the first write
};

std::optional<LSampleWidth> WidthForBytes(int bytesPerSample) {
  switch (bytesPerSample) {
    case 1: return LSampleWidth::k8Bit;
    case 2: return LSampleWidth::k16Bit;
    case 3: return LSampleWidth::k24Bit;
    case 4: return LSampleWidth::k32Bit;
    default: return std::nullopt;
  }
}

// Only regular files are opened: opening a FIFO for reading would block until a writer
// appears, and devices have no size to bound the chunk walk.
bool IsRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

LRef<LSoundStream> OpenWaveFile(const std::string& path) {
  if (!IsRegularFile(path)) return MakeErrorStream(LStreamState::kCannotOpen);
  LFile file = LFile::Open(path, LFileMode::kRead);
  if (!file.IsOpen()) return MakeErrorStream(LStreamState::kCannotOpen);

  LWaveLayout layout;
  LStreamState state = WalkChunks(file, &layout);
  if (state != LStreamState::kOk) return MakeErrorStream(state);

  const LWaveFormat& format = layout.format;
  if (!IsPcmFormat(format)) return MakeErrorStream(LStreamState::kCodecMissing);
  if (format.bitsPerSample == 0) return MakeErrorStream(LStreamState::kCorrupt);  // frame size 0

  const LSampleWidth width = SampleWidthForBits(format.bitsPerSample);
  const int64_t frameBytes = int64_t{format.channels} * BytesPerSample(width);
  // A size field beyond the file (a damaged or cut-off file) counts only the frames the file
  // holds, a last partial frame included: loading such a file must not write gigabytes of
  // silence into the block store.
  const int64_t availableBytes = std::max<int64_t>(file.Size() - layout.dataStart, 0);
  int64_t dataBytes = layout.dataBytes == kAllOnes ? availableBytes : layout.dataBytes;
  int64_t frames = dataBytes / frameBytes;
  if (dataBytes > availableBytes) frames = (availableBytes + frameBytes - 1) / frameBytes;
  const auto lengthFrames = static_cast<int32_t>(std::min<int64_t>(frames, std::numeric_limits<int32_t>::max()));
  return MakeRef<LWaveFileStream>(std::move(file), layout, width, lengthFrames);
}

LRef<LSoundSink> CreateWaveFile(const std::string& path, const LWaveFormat& format) {
  if (!IsPcmFormat(format) || format.samplesPerSec > uint32_t{std::numeric_limits<int32_t>::max()}) {
    return MakeRef<LNullSink>();
  }
  return MakeRef<LWaveFileSink>(path, format.channels, SampleWidthForBits(format.bitsPerSample),
                                static_cast<int32_t>(format.samplesPerSec), 0, LWriteMode::kBackground);
}

LRef<LSoundSink> CreatePcmWaveSink(const std::string& path, int channels, int bytesPerSample,
                                   int32_t sampleRate, int32_t startFrame) {
  std::optional<LSampleWidth> width = WidthForBytes(bytesPerSample);
  if (!width) return MakeRef<LNullSink>();
  return MakeRef<LWaveFileSink>(path, channels, *width, sampleRate, startFrame, LWriteMode::kDirect);
}

}  // namespace klangor
