#pragma once
// Headerless GSM 06.10 files (".gsm"): 33-byte frames of 160 samples, 8000 Hz mono.
//
// LGsmStream: the length is 160 x the whole frames in the file (a trailing partial frame is
// ignored); full scale 1048544. Reading decodes frame by frame; frames before 0 and from the
// length on are silence. Seek(f) starts the decoder afresh at the frame holding f (the first
// frame's decoding after a seek into the file therefore differs from a continuous decoding).
// State kCannotOpen when the file cannot be opened.
//
// LGsmSink: codes every 160 samples as one frame; Finish() pads a partial last frame with
// silence and writes it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "formats/gsm_codec.h"
#include "platform/file.h"
#include "platform/sequential_writer.h"

namespace klangor {

inline constexpr int32_t kGsmSampleRate = 8000;

class LGsmStream final : public LSoundStream {
 public:
  explicit LGsmStream(const std::string& path);

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  int32_t Length() const override;
  void Seek(int32_t frame) override;

 private:
  int64_t LengthSamples() const;
  // A fresh decoder at sample `sample` (0 <= sample), with that sample next to be taken.
  void MoveTo(int64_t sample);
  // Decodes the next file frame into `out` (160 samples; silence when the file lacks it).
  void DecodeNextFrame(int32_t* out);
  void Take(int32_t* out, int64_t count);

  LFile file_;
  LGsmDecoder decoder_;
  int64_t positionSamples_ = 0;
  int64_t nextFileFrame_ = 0;  // the frame DecodeNextFrame decodes
  int64_t cursorSample_ = 0;   // the sample Take gives next
  int32_t kept_[kGsmFrameSamples] = {};
  int keptIndex_ = kGsmFrameSamples;  // kGsmFrameSamples: used up
  std::vector<uint8_t> bytes_;        // frames read ahead
  size_t bytesUsed_ = 0;
};

class LGsmSink final : public LSoundSink {
 public:
  // Creates `path` (error bit kCannotWrite when it cannot be created).
  explicit LGsmSink(const std::string& path);
  ~LGsmSink() override;

  void Write(const int32_t* frames, int32_t frameCount) override;
  // Only backwards, to the start of the frame that holds `frame`: the file is cut there.
  void Seek(int32_t frame) override;
  void Finish() override;

 private:
  void EncodeFrame(const int32_t* samples);
  void Fail();

  std::unique_ptr<LSequentialWriter> out_;
  LGsmEncoder encoder_;
  int32_t partial_[kGsmFrameSamples] = {};
  int partialCount_ = 0;
};

LRef<LSoundStream> OpenGsmFile(const std::string& path);
// The GSM sink for audio of any rate and channel count: the file is always 8000 Hz mono,
// and saving converts the sound to that.
LRef<LSoundSink> CreateGsmFile(const std::string& path, int32_t sampleRate, int channels);

}  // namespace klangor
