#pragma once
// Fixed-size frames straight from and into a file: the reading and writing base of WAV, the
// raw codecs, AU and AIFF.
//
// Conversions to the internal samples (v): 16-bit s16 <-> v = s16 x 16, 8-bit signed
// s8 <-> v = s8 x 4096, 8-bit unsigned u8 <-> v = (u8 - 128) x 4096, 24- and 32-bit as in
// audio/sample_format.h, G.711 as in formats/g711.h. Writing rounds ((v + 8) >> 4 and (v + 2048) >> 12) and keeps the low bits,
// except that the top of the 16-bit range (522240 up to 524287) gives the largest 8-bit code
// rather than wrapping to the most negative one.
//
// Reading follows one rule for every frame-based file: frames before 0 and from the length on
// read as silence, and so does every sample the file does not hold (the missing part of a
// short last frame included). Reads never fail.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "platform/file.h"
#include "platform/sequential_writer.h"

namespace klangor {

enum class LPcmCodec {
  kMuLaw,
  kALaw,
  k16BitLittleEndian,
  k8BitUnsigned,
  k8BitSigned,
  k16BitBigEndian,
  k24BitLittleEndian,
  k32BitLittleEndian,
};

int PcmBytesPerSample(LPcmCodec codec);
// 524272 for the linear codecs, 516096 for G.711.
int32_t PcmFullScale(LPcmCodec codec);
void DecodePcm(LPcmCodec codec, const uint8_t* in, int32_t* out, size_t sampleCount);
void EncodePcm(LPcmCodec codec, const int32_t* in, uint8_t* out, size_t sampleCount);

// A stream length that means "up to the end of the file".
inline constexpr int64_t kLengthToEndOfFile = -1;

class LPcmFileStream : public LSoundStream {
 public:
  // Takes over `file` (state kCannotOpen when it is not open). Frames start at byte
  // `dataStartBytes`; `lengthFrames` is the length, or kLengthToEndOfFile for
  // (file size - data start) / bytes per frame at the time of asking.
  LPcmFileStream(LFile file, LPcmCodec codec, int32_t sampleRate, int channels,
                 int64_t dataStartBytes, int64_t lengthFrames);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  int32_t Length() const override;
  void Seek(int32_t frame) override { positionFrames_ = frame; }
  bool LengthFixed() const override { return lengthFrames_ >= 0; }

 private:
  int64_t LengthFrames() const;
  void ReadPiece(int64_t first, int64_t count, int32_t* out);

  LFile file_;
  LPcmCodec codec_;
  int64_t dataStartBytes_;
  int64_t frameBytes_;
  int64_t lengthFrames_;
  int64_t positionFrames_ = 0;  // wider than a frame position so reads never overflow it
  std::vector<uint8_t> buffer_;  // one piece of file bytes, allocated by the first read
};

// A planned data size for a file that grows without a known end (a recording).
inline constexpr int64_t kGrowingData = -1;

// What a header routine needs to know. `finished` is false for the headers written while the
// file is open, true for the one written when the sink finishes. `plannedDataBytes` is the
// data size announced before the first write (ExpectFrames), or kGrowingData.
struct LPcmHeaderInfo {
  int32_t sampleRate;
  int channels;
  int64_t dataBytes;
  bool finished;
  int64_t plannedDataBytes;
};
// The bytes in front of the samples; the same size every time it is called with the same
// planned size. For a growing file it is asked again after every write, and written again
// whenever it changes (so a WAV recording turns into RF64 when it passes 4 GB).
using LPcmHeaderRoutine = std::vector<uint8_t> (*)(const LPcmHeaderInfo& info);

struct LPcmSinkOptions {
  LPcmHeaderRoutine header = nullptr;
  // Above 0: the first frames of an existing file are kept (as many as it holds, at most
  // this many) and writing continues after them.
  int32_t startFrame = 0;
  // Saving writes on a second thread; a file that others read while it grows (a recording)
  // is written directly.
  LWriteMode mode = LWriteMode::kBackground;
  // The data size the header is first written for (ExpectFrames may announce another one
  // before the first write), or kGrowingData.
  int64_t plannedDataBytes = 0;
};

class LPcmFileSink : public LSoundSink {
 public:
  // Opens or creates `path`, writes the header (if any) and cuts the file after the kept
  // frames. Error bit kCannotWrite when the file cannot be created, the rate is not positive
  // or the channel count is not 1..255; an existing file is then left alone.
  LPcmFileSink(const std::string& path, LPcmCodec codec, int32_t sampleRate, int channels,
               const LPcmSinkOptions& options = {});
  ~LPcmFileSink() override;

  void Write(const int32_t* frames, int32_t frameCount) override;
  // Only backwards: the file is cut at the new position.
  void Seek(int32_t frame) override;
  // Writes the header again with the final size and closes the file.
  void Finish() override;
  // Before the first write the header is chosen for that many frames. Fails the sink (with
  // kNoSpace) when they do not fit into the free space of the file's file system.
  int64_t ExpectFrames(int64_t frameCount) override;

 private:
  void Fail();
  std::vector<uint8_t> Header(bool finished) const;
  // Writes the header for the data so far; with `resized` the samples then start after it.
  bool WriteOpenHeader(bool resized);

  std::unique_ptr<LSequentialWriter> out_;
  std::string folder_;
  LPcmCodec codec_;
  LPcmHeaderRoutine header_;
  int64_t plannedDataBytes_;
  int64_t dataStartBytes_ = 0;
  int64_t frameBytes_;
  std::vector<uint8_t> openHeader_;  // the header as last written while open
  std::vector<uint8_t> buffer_;      // allocated by the first write
};

}  // namespace klangor
