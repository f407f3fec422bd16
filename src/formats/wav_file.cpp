#include "formats/wav_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "audio/error_stream.h"
#include "audio/sample_format.h"
#include "formats/pcm_file.h"
#include "formats/wav_codec_stream.h"
#include "platform/byte_order.h"
#include "platform/sequential_writer.h"
#include "platform/file.h"

namespace klangor {
namespace {

constexpr int32_t kMaxChannels = 255;
constexpr uint32_t kMaxSampleRate = 196000;
constexpr int32_t kMinFmtBytes = 16;
constexpr int32_t kMaxFmtBytes = 8192;
constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
// What the RIFF size counts besides the data: "WAVE", the "fmt " chunk and the data header.
constexpr int64_t kRiffOverheadBytes = kWaveHeaderBytes - 8;

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
    int64_t size = RoundUpToEven(static_cast<int32_t>(LoadLe32(header + 4)));
    if (size <= 4) return LStreamState::kCorrupt;
    offset += 8 + size;
  }
  offset += 12;

  // Chunks up to "fmt "; a negative size of a skipped chunk is corrupt.
  for (;;) {
    if (!reader.ReadExact(offset, header, 8)) return LStreamState::kCorrupt;
    auto size = static_cast<int32_t>(LoadLe32(header + 4));
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
      layout->dataBytes = LoadLe32(header + 4);
      break;
    }
    auto size = static_cast<int32_t>(LoadLe32(header + 4));
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

// The PCM codec of a container width: WAV keeps 8-bit data unsigned, wider data signed and
// little-endian.
LPcmCodec CodecOf(LSampleWidth width) {
  switch (width) {
    case LSampleWidth::k8Bit: return LPcmCodec::k8BitUnsigned;
    case LSampleWidth::k16Bit: return LPcmCodec::k16BitLittleEndian;
    case LSampleWidth::k24Bit: return LPcmCodec::k24BitLittleEndian;
    case LSampleWidth::k32Bit: return LPcmCodec::k32BitLittleEndian;
  }
  return LPcmCodec::k16BitLittleEndian;
}

// The 46-byte header: both sizes all ones while the file is being written (so a file left
// behind by a crash still reads to its end), the real sizes when it is finished. Data beyond
// what 32 bits can count keeps the all-ones sizes.
std::vector<uint8_t> WaveHeader(const LPcmHeaderInfo& info, int bitsPerSample) {
  uint32_t riffSize = kAllOnes;
  uint32_t dataSize = kAllOnes;
  if (info.finished && info.dataBytes + kRiffOverheadBytes <= int64_t{kAllOnes}) {
    riffSize = static_cast<uint32_t>(info.dataBytes + kRiffOverheadBytes);
    dataSize = static_cast<uint32_t>(info.dataBytes);
  }
  std::vector<uint8_t> header(kWaveHeaderBytes);
  std::memcpy(header.data(), "RIFF", 4);
  StoreLe32(header.data() + 4, riffSize);
  std::memcpy(header.data() + 8, "WAVEfmt ", 8);
  StoreLe32(header.data() + 16, static_cast<uint32_t>(kWaveFormatFixedBytes));
  std::vector<uint8_t> fmt = SerializeWaveFormat(MakePcmFormat(info.sampleRate, info.channels, bitsPerSample));
  std::memcpy(header.data() + 20, fmt.data(), kWaveFormatFixedBytes);
  std::memcpy(header.data() + 38, "data", 4);
  StoreLe32(header.data() + 42, dataSize);
  return header;
}

template <int kBits>
std::vector<uint8_t> WaveHeaderOf(const LPcmHeaderInfo& info) {
  return WaveHeader(info, kBits);
}

LPcmHeaderRoutine HeaderFor(LSampleWidth width) {
  switch (width) {
    case LSampleWidth::k8Bit: return WaveHeaderOf<8>;
    case LSampleWidth::k16Bit: return WaveHeaderOf<16>;
    case LSampleWidth::k24Bit: return WaveHeaderOf<24>;
    case LSampleWidth::k32Bit: return WaveHeaderOf<32>;
  }
  return WaveHeaderOf<16>;
}

LRef<LSoundSink> MakeWaveSink(const std::string& path, int channels, LSampleWidth width, int32_t sampleRate,
                              int32_t startFrame, LWriteMode mode) {
  return MakeRef<LPcmFileSink>(path, CodecOf(width), sampleRate, channels,
                               LPcmSinkOptions{HeaderFor(width), startFrame, mode});
}

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
  const int64_t availableBytes = std::max<int64_t>(file.Size() - layout.dataStart, 0);
  if (!IsPcmFormat(format)) {
    // Compressed data: decoded up to the size field or the end of the file, whichever is first.
    const int64_t codedBytes = layout.dataBytes == kAllOnes ? availableBytes
                                                            : std::min<int64_t>(layout.dataBytes, availableBytes);
    return OpenWaveCodecStream(std::move(file), format, layout.dataStart, codedBytes);
  }
  if (format.bitsPerSample == 0) return MakeErrorStream(LStreamState::kCorrupt);  // frame size 0

  const LSampleWidth width = SampleWidthForBits(format.bitsPerSample);
  const int64_t frameBytes = int64_t{format.channels} * BytesPerSample(width);
  // A size field beyond the file (a damaged or cut-off file) counts only the frames the file
  // holds, a last partial frame included: loading such a file must not write gigabytes of
  // silence into the block store.
  int64_t dataBytes = layout.dataBytes == kAllOnes ? availableBytes : layout.dataBytes;
  int64_t frames = dataBytes / frameBytes;
  if (dataBytes > availableBytes) frames = (availableBytes + frameBytes - 1) / frameBytes;
  const auto lengthFrames = SaturateToInt32(frames);
  return MakeRef<LPcmFileStream>(std::move(file), CodecOf(width), static_cast<int32_t>(format.samplesPerSec),
                                 static_cast<int>(format.channels), layout.dataStart, lengthFrames);
}

std::optional<LGrowingWave> OpenGrowingWaveFile(const std::string& path) {
  if (!IsRegularFile(path)) return std::nullopt;
  LFile file = LFile::Open(path, LFileMode::kRead);
  LWaveLayout layout;
  if (!file.IsOpen() || WalkChunks(file, &layout) != LStreamState::kOk) return std::nullopt;
  const LWaveFormat& format = layout.format;
  if (!IsPcmFormat(format) || format.bitsPerSample == 0 || layout.dataBytes == 0 || layout.dataBytes == kAllOnes) {
    return std::nullopt;
  }
  const LSampleWidth width = SampleWidthForBits(format.bitsPerSample);
  LGrowingWave wave;
  wave.dataStart = layout.dataStart;
  wave.frameBytes = int64_t{format.channels} * BytesPerSample(width);
  wave.lengthFrames = SaturateToInt32(int64_t{layout.dataBytes} / wave.frameBytes);
  // The stream reads whatever the file holds by now; the length is the header's.
  wave.stream = MakeRef<LPcmFileStream>(std::move(file), CodecOf(width), static_cast<int32_t>(format.samplesPerSec),
                                        static_cast<int>(format.channels), layout.dataStart, kLengthToEndOfFile);
  return wave;
}

LRef<LSoundSink> CreateWaveFile(const std::string& path, const LWaveFormat& format) {
  if (!IsPcmFormat(format) || format.samplesPerSec > uint32_t{std::numeric_limits<int32_t>::max()}) {
    return MakeRef<LNullSink>();
  }
  return MakeWaveSink(path, format.channels, SampleWidthForBits(format.bitsPerSample),
                      static_cast<int32_t>(format.samplesPerSec), 0, LWriteMode::kBackground);
}

LRef<LSoundSink> CreatePcmWaveSink(const std::string& path, int channels, int bytesPerSample,
                                   int32_t sampleRate, int32_t startFrame) {
  std::optional<LSampleWidth> width = WidthForBytes(bytesPerSample);
  if (!width) return MakeRef<LNullSink>();
  return MakeWaveSink(path, channels, *width, sampleRate, startFrame, LWriteMode::kDirect);
}

}  // namespace klangor
