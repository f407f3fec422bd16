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
#include "formats/wav_codec_sink.h"
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
constexpr int32_t kDs64Bytes = 28;  // the "ds64" body that Klangor reads and writes (an empty table)
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
  int64_t dataStart = 0;   // file offset of the first sample byte
  int64_t dataBytes = -1;  // the data size (-1: up to the file's end)
};

// The data size of a "ds64" body (RIFF size, data size, sample count, each 64 bits, then a
// table of other chunk sizes); all ones there too means "up to the file's end".
int64_t Ds64DataBytes(const uint8_t* body) {
  const uint64_t bytes = LoadLe64(body + 8);
  return bytes > uint64_t{INT64_MAX} ? -1 : static_cast<int64_t>(bytes);
}

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
    if ((IsTag(header, "RIFF") || IsTag(header, "RF64") || IsTag(header, "BW64")) && IsTag(header + 8, "WAVE")) break;
    int64_t size = RoundUpToEven(static_cast<int32_t>(LoadLe32(header + 4)));
    if (size <= 4) return LStreamState::kCorrupt;
    offset += 8 + size;
  }
  offset += 12;

  // The 64-bit data size of a "ds64" chunk (it comes first in RF64 files), for a data chunk
  // whose own size field is all ones.
  int64_t ds64DataBytes = -1;
  auto noteDs64 = [&](int32_t size) {
    constexpr int32_t kSizesBytes = 24;  // what is read: the three sizes
    uint8_t body[kSizesBytes];
    if (IsTag(header, "ds64") && size >= kSizesBytes && reader.ReadExact(offset + 8, body, kSizesBytes)) {
      ds64DataBytes = Ds64DataBytes(body);
    }
  };

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
    noteDs64(size);
    offset += 8 + RoundUpToEven(size);
  }

  // Chunks up to "data" ("fact", "LIST" and anything else are skipped).
  for (;;) {
    if (!reader.ReadExact(offset, header, 8)) return LStreamState::kCorrupt;
    if (IsTag(header, "data")) {
      layout->dataStart = offset + 8;
      const uint32_t size = LoadLe32(header + 4);
      layout->dataBytes = size != kAllOnes ? int64_t{size} : ds64DataBytes;
      break;
    }
    auto size = static_cast<int32_t>(LoadLe32(header + 4));
    if (size < 0) return LStreamState::kCorrupt;
    noteDs64(size);
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

// The header. Data whose RIFF size fits into 32 bits gets the plain 46-byte header (RIFF,
// "fmt ", "data"); data planned beyond that, and a growing file, get 36 bytes more for a
// "ds64" chunk after "WAVE": a "JUNK" chunk of that size holds the place while the sizes fit,
// and "RF64" with "ds64" holding the 64-bit sizes replaces "RIFF" once they do not. While the
// file is open every size is all ones, so a file left behind by a crash still reads to its
// end; the finished header holds the real sizes.
std::vector<uint8_t> WaveHeader(const LPcmHeaderInfo& info, int bitsPerSample) {
  const bool room = info.plannedDataBytes < 0 || info.plannedDataBytes + kRiffOverheadBytes >= int64_t{kAllOnes};
  const size_t fmtAt = room ? 12 + 8 + kDs64Bytes : 12;
  std::vector<uint8_t> header(fmtAt + 8 + kWaveFormatFixedBytes + 8);
  uint8_t* p = header.data();
  const int64_t riffBytes = static_cast<int64_t>(header.size()) - 8 + info.dataBytes;
  const bool rf64 = room && riffBytes >= int64_t{kAllOnes};
  const bool sized = info.finished && !rf64 && riffBytes < int64_t{kAllOnes};
  std::memcpy(p, rf64 ? "RF64" : "RIFF", 4);
  StoreLe32(p + 4, sized ? static_cast<uint32_t>(riffBytes) : kAllOnes);
  std::memcpy(p + 8, "WAVE", 4);
  if (room) {
    std::memcpy(p + 12, rf64 ? "ds64" : "JUNK", 4);
    StoreLe32(p + 16, kDs64Bytes);
    if (rf64) {
      const int64_t frameBytes = int64_t{info.channels} * (bitsPerSample / 8);
      StoreLe64(p + 20, info.finished ? static_cast<uint64_t>(riffBytes) : ~uint64_t{0});
      StoreLe64(p + 28, info.finished ? static_cast<uint64_t>(info.dataBytes) : ~uint64_t{0});
      StoreLe64(p + 36, info.finished ? static_cast<uint64_t>(info.dataBytes / frameBytes) : ~uint64_t{0});
    }
  }
  std::memcpy(p + fmtAt, "fmt ", 4);
  StoreLe32(p + fmtAt + 4, static_cast<uint32_t>(kWaveFormatFixedBytes));
  std::vector<uint8_t> fmt = SerializeWaveFormat(MakePcmFormat(info.sampleRate, info.channels, bitsPerSample));
  std::memcpy(p + fmtAt + 8, fmt.data(), kWaveFormatFixedBytes);
  std::memcpy(p + fmtAt + 8 + kWaveFormatFixedBytes, "data", 4);
  StoreLe32(p + fmtAt + 12 + kWaveFormatFixedBytes, sized ? static_cast<uint32_t>(info.dataBytes) : kAllOnes);
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
                              int32_t startFrame, LWriteMode mode, int64_t plannedDataBytes) {
  return MakeRef<LPcmFileSink>(path, CodecOf(width), sampleRate, channels,
                               LPcmSinkOptions{HeaderFor(width), startFrame, mode, plannedDataBytes});
}

// True when `path` starts with the plain 46-byte header (no room for "ds64"): a file that is
// continued keeps the layout its kept frames were written in.
bool HasPlainHeader(const std::string& path) {
  LFile file = LFile::Open(path, LFileMode::kRead);
  uint8_t head[16];
  return file.IsOpen() && file.ReadAt(0, head, 16) == 16 && IsTag(head + 12, "fmt ");
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
    const int64_t codedBytes = layout.dataBytes < 0 ? availableBytes
                                                            : std::min<int64_t>(layout.dataBytes, availableBytes);
    return OpenWaveCodecStream(std::move(file), format, layout.dataStart, codedBytes);
  }
  if (format.bitsPerSample == 0) return MakeErrorStream(LStreamState::kCorrupt);  // frame size 0

  const LSampleWidth width = SampleWidthForBits(format.bitsPerSample);
  const int64_t frameBytes = int64_t{format.channels} * BytesPerSample(width);
  // A size field beyond the file (a damaged or cut-off file) counts only the frames the file
  // holds, a last partial frame included: loading such a file must not write gigabytes of
  // silence into the block store.
  int64_t dataBytes = layout.dataBytes < 0 ? availableBytes : layout.dataBytes;
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
  if (!IsPcmFormat(format) || format.bitsPerSample == 0 || layout.dataBytes <= 0) {
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
  if (!IsPcmFormat(format)) return CreateWaveCodecSink(path, format);
  if (format.samplesPerSec > uint32_t{std::numeric_limits<int32_t>::max()}) {
    return MakeRef<LNullSink>();
  }
  return MakeWaveSink(path, format.channels, SampleWidthForBits(format.bitsPerSample),
                      static_cast<int32_t>(format.samplesPerSec), 0, LWriteMode::kBackground, 0);
}

LRef<LSoundSink> CreatePcmWaveSink(const std::string& path, int channels, int bytesPerSample,
                                   int32_t sampleRate, int32_t startFrame) {
  std::optional<LSampleWidth> width = WidthForBytes(bytesPerSample);
  if (!width) return MakeRef<LNullSink>();
  const int64_t planned = startFrame > 0 && HasPlainHeader(path) ? 0 : kGrowingData;
  return MakeWaveSink(path, channels, *width, sampleRate, startFrame, LWriteMode::kDirect, planned);
}

}  // namespace klangor
