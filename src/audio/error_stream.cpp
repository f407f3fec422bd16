#include "audio/error_stream.h"

#include <algorithm>

#include "audio/sample_format.h"

namespace klangor {

LErrorStream::LErrorStream(LStreamState state) : LSoundStream(11025, kFullScale16, 1) {
  SetState(state);
}

void LErrorStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  std::fill_n(frames, frameCount, 0);
  position_ += frameCount;
}

LRef<LSoundStream> MakeErrorStream(LStreamState state) { return MakeRef<LErrorStream>(state); }

LNullSink::LNullSink() : LSoundSink(44100, 1) { SetError(kCannotWrite); }

void LNullSink::Write(const int32_t* /*frames*/, int32_t frameCount) {
  if (frameCount > 0) AddFramesWritten(frameCount);
}

void LNullSink::Seek(int32_t frame) { SetFramesWritten(frame); }

}  // namespace klangor
