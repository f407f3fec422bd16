#pragma once
// The audio decoder that the FFmpeg-read formats share (private to formats/): one libavcodec
// decoder with its converter to interleaved internal samples. It takes packets and hands out
// frames; it does no file I/O, so the file reader and the compressed WAV reader feed it from
// their own sources.
//
// Decoded audio is converted to signed 32-bit with libswresample and then to the internal
// scale by (x + 2048) >> 12, so 16-bit sources come out as exactly 16 x the sample and wider
// or floating-point sources keep 20 bits. A rate or layout change inside the stream is
// converted to the rate and layout the decoder started with.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/sound_stream.h"

struct AVCodecParameters;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace klangor {

// FFmpeg says nothing on the terminal: the program reports failures itself.
void QuietFfmpegLog();

class LFfmpegDecoder {
 public:
  // A decoder for `parameters`; on failure null, and `state` says why (kCodecMissing when no
  // decoder exists or it does not open, kCorrupt for parameters without a rate or channels
  // or with more than 255 channels).
  static std::unique_ptr<LFfmpegDecoder> Create(const AVCodecParameters& parameters, LStreamState* state);
  ~LFfmpegDecoder();
  LFfmpegDecoder(const LFfmpegDecoder&) = delete;
  LFfmpegDecoder& operator=(const LFfmpegDecoder&) = delete;

  int32_t SampleRate() const { return sampleRate_; }
  int Channels() const { return channels_; }

  // Decodes one packet (null: the input has ended, the decoder gives out what it holds). A
  // packet the decoder refuses is skipped.
  void Decode(const AVPacket* packet);
  // Frames decoded and not yet taken.
  int32_t Available() const;
  // Moves up to `maxFrames` frames into `out` (null: discards them); returns how many.
  int32_t Take(int32_t* out, int32_t maxFrames);
  // Forgets everything pending (after the source moved).
  void Reset();

 private:
  LFfmpegDecoder() = default;
  void Receive();
  void Convert(const AVFrame& frame);

  AVCodecContext* codec_ = nullptr;
  SwrContext* converter_ = nullptr;
  AVFrame* frame_ = nullptr;
  int converterRate_ = 0;
  int converterFormat_ = -1;
  int converterChannels_ = 0;
  uint64_t converterMask_ = 0;
  int32_t sampleRate_ = 0;
  int channels_ = 0;
  std::vector<int32_t> pending_;  // interleaved frames, taken from pendingStart_ on
  size_t pendingStart_ = 0;
};

// A stream over a decoder: the position, the silence before 0 and after the end, and the
// length, which is `estimate` (at least kLengthLookaheadFrames beyond the position) until the
// input ends and exact from then on. Subclasses feed the decoder from their input.
class LDecodedStream : public LSoundStream {
 public:
  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return position_; }
  int32_t Length() const override;
  void Seek(int32_t frame) override { position_ = frame; }

 protected:
  LDecodedStream(std::unique_ptr<LFfmpegDecoder> decoder, int32_t estimate);
  // Gives the decoder the next piece of input; false when the input has ended (after
  // draining the decoder with a null packet).
  virtual bool FeedDecoder(LFfmpegDecoder& decoder) = 0;
  // Moves the input to a place at or before `frame` from which decoding yields exactly the
  // frames from there on, and returns that frame (0: the start). The decoder has been reset.
  virtual int32_t MoveInputNear(int32_t frame) = 0;
  // True when MoveInputNear also gets close to frames ahead (else they are decoded through).
  virtual bool JumpsAhead() const { return false; }

 private:
  void MoveTo(int32_t frame);

  std::unique_ptr<LFfmpegDecoder> decoder_;
  int32_t position_ = 0;
  int32_t decoded_ = 0;  // the frame the decoder's next frame belongs to
  int32_t estimate_;
  int32_t total_ = 0;    // the real length, once ended_
  bool ended_ = false;
};

}  // namespace klangor
