#pragma once
// LErrorStream: what an opener returns instead of nothing (11025 Hz mono, length 0, silent,
// carrying the failure's state). LNullSink: a sink that discards everything and reports
// that its output cannot be written, so callers treat it as a failed output.

#include "audio/sound_sink.h"
#include "audio/sound_stream.h"

namespace klangor {

class LErrorStream final : public LSoundStream {
 public:
  explicit LErrorStream(LStreamState state);
  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override { return position_; }
  int32_t Length() const override { return 0; }
  void Seek(int32_t frame) override { position_ = frame; }

 private:
  int32_t position_ = 0;
};

LRef<LSoundStream> MakeErrorStream(LStreamState state);

class LNullSink final : public LSoundSink {
 public:
  LNullSink();
  void Write(const int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;
};

}  // namespace klangor
