#pragma once
// The pull source of audio, and the filter that takes its audio from one input.
//
// Samples are interleaved signed 32-bit integers at the program's internal scale: a 16-bit
// source's full scale is 524272 (16 x 32767); values beyond full scale are allowed and are
// limited only where an output needs it.
//
// Contract of every stream:
// - Read(frames, frameCount) fills exactly frameCount x Channels() samples and advances the
//   position by exactly frameCount frames. Frames before 0 and past the end read as zeros.
//   Any frameCount >= 0 is accepted.
// - Length() is the length in frames (an estimate for some compressed files).
// - Seek(frame) moves to any frame, negative or past the end, and clears internal state
//   such as delay lines, so a read after a seek does not depend on what was read before.
// - A stream is used by one thread at a time; it may be handed to another thread.
// - Openers never return nothing: a failure is a stream with a non-zero State().

#include <cstdint>

#include "audio/ref_counted.h"

namespace klangor {

enum class LStreamState : uint8_t {
  kOk = 0,
  kPlaceholder = 1,     // a stand-in without audio
  kInputUnusable = 2,   // the input of a filter was not usable
  kCorrupt = 3,         // corrupt, unsupported or substituted format
  kCannotOpen = 4,      // the file cannot be opened
  kCodecMissing = 5,    // a required codec is missing
};

class LSoundStream : public LRefCounted {
 public:
  int32_t SampleRate() const { return sampleRate_; }
  int32_t FullScale() const { return fullScale_; }
  int Channels() const { return channels_; }
  LStreamState State() const { return state_; }
  bool Usable() const { return state_ == LStreamState::kOk; }

  virtual void Read(int32_t* frames, int32_t frameCount) = 0;
  virtual int32_t Position() const = 0;
  virtual int32_t Length() const = 0;
  virtual void Seek(int32_t frame) = 0;
  // True when the next `frameCount` frames certainly lie within smallest..largest, known
  // without reading them (a sound in the block store knows its peaks). False when unknown.
  virtual bool StaysWithin(int32_t /*frameCount*/, int32_t /*largest*/, int32_t /*smallest*/) const {
    return false;
  }
  // True when Length() is exact and stays as it is while the stream is read (not an estimate,
  // not a file that may still grow). False when that is not known.
  virtual bool LengthFixed() const { return false; }

 protected:
  // A rate of 0 or less becomes 44100 and a channel count of 0 becomes 1, both with state
  // kCorrupt.
  LSoundStream(int32_t sampleRate, int32_t fullScale, int channels);

  void SetState(LStreamState state) { state_ = state; }
  void SetFullScale(int32_t fullScale) { fullScale_ = fullScale; }
  void SetFormat(int32_t sampleRate, int channels);

 private:
  int32_t sampleRate_;
  int32_t fullScale_;
  uint8_t channels_;
  LStreamState state_ = LStreamState::kOk;
};

// A stream whose audio comes from one input. It starts with the input's rate, full scale
// and channels, takes state kInputUnusable when the input is not usable, and forwards
// Position, Length and Seek unless it overrides them. Filters with memory override Seek to
// clear it first.
class LSoundFilter : public LSoundStream {
 public:
  int32_t Position() const override { return input_->Position(); }
  int32_t Length() const override { return input_->Length(); }
  void Seek(int32_t frame) override { input_->Seek(frame); }

 protected:
  explicit LSoundFilter(LRef<LSoundStream> input);
  LSoundStream& Input() const { return *input_; }

 private:
  LRef<LSoundStream> input_;
};

}  // namespace klangor
