#pragma once
// Dialogic 4-bit ADPCM (".vox"): two codes per byte, the first sample in the high nibble.
//
// The codec works in internal sample units with a leaky predictor (it loses 1/64 of its value
// each sample) and the usual 49-entry step table; the decoder does not clamp. Its level is 128
// times the 12-bit values of the common Dialogic decoder (half of what sox gives in 16 bits);
// streams give 2097152 as their full scale since the unclamped predictor can go far beyond
// the 16-bit range.
//
// LVoxStream reads mono audio at a given rate; its length is twice the file size. Reads are
// independent of how the caller slices them: a read that ends inside a byte keeps the byte's
// second code for the next read. Seek(f) with f <= 0 starts the decoder afresh; a seek into the
// file keeps the decoder's step and predictor (nothing better is known about the state there)
// and lands on sample f exactly (for an odd f, the byte's second code comes next).
//
// LVoxSink writes mono audio: an odd sample's code waits for the next write to fill its byte,
// and a code still waiting when the sink finishes is dropped (the format holds an even count).

#include <cstdint>
#include <string>
#include <vector>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "platform/file.h"
#include "platform/sequential_writer.h"

namespace klangor {

inline constexpr int32_t kVoxFullScale = 2097152;

// The codec state: step index (clamped to 0..48 before each use) and predictor.
struct LAdpcmState {
  int32_t stepIndex = 0;
  int32_t predictor = 0;
};

// One code to one sample, and one sample to one code; both update `state`.
int32_t DecodeVoxCode(LAdpcmState& state, uint8_t code);
uint8_t EncodeVoxSample(LAdpcmState& state, int32_t sample);

class LVoxStream final : public LSoundStream {
 public:
  // Opens `path` (state kCannotOpen when it cannot be opened).
  LVoxStream(const std::string& path, int32_t sampleRate);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  int32_t Length() const override;
  void Seek(int32_t frame) override;

 private:
  int64_t LengthSamples() const;
  // Moves the decoder to sample `sample` of the file (0 <= sample).
  void MoveDecoderTo(int64_t sample);
  // Decodes `count` samples from the decoder's place; samples the file does not hold are 0.
  void Decode(int32_t* out, int64_t count);
  bool NextByte(uint8_t* byte);

  LFile file_;
  LAdpcmState state_;
  int64_t positionSamples_ = 0;
  int64_t decoderSample_ = 0;  // the sample the decoder produces next
  bool lowNibblePending_ = false;
  uint8_t pendingByte_ = 0;
  std::vector<uint8_t> bytes_;   // read ahead from the file
  size_t bytesUsed_ = 0;
  int64_t bytesFileOffset_ = 0;  // file offset just after bytes_
};

class LVoxSink final : public LSoundSink {
 public:
  // Creates `path` (error bit kCannotWrite when it cannot be created or the rate is not
  // positive).
  LVoxSink(const std::string& path, int32_t sampleRate);
  ~LVoxSink() override;

  void Write(const int32_t* frames, int32_t frameCount) override;
  // Only backwards: the file is cut at the byte holding frame `frame`'s pair; the encoder
  // goes on from its state.
  void Seek(int32_t frame) override;
  void Finish() override;

 private:
  void Fail();

  std::unique_ptr<LSequentialWriter> out_;
  LAdpcmState state_;
  bool highNibblePending_ = false;
  uint8_t pendingCode_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace klangor
