// Small streams, sinks and readers for tests.

#include "support/test_streams.h"

#include <algorithm>
#include <random>

#include "store/block_writer.h"

namespace klangor::test {

LFunctionStream::LFunctionStream(int32_t rate, int channels, int32_t length, Value value,
                                 int32_t fullScale)
    : LSoundStream(rate, fullScale, channels), length_(length), value_(std::move(value)) {}

void LFunctionStream::Read(int32_t* frames, int32_t frameCount) {
  for (int32_t f = 0; f < frameCount; ++f) {
    int64_t frame = int64_t{position_} + f;
    for (int c = 0; c < Channels(); ++c) {
      frames[static_cast<size_t>(f) * Channels() + c] =
          frame >= 0 && frame < length_ ? value_(frame, c) : 0;
    }
  }
  position_ += frameCount;
}

void LMemorySink::Write(const int32_t* frames, int32_t frameCount) {
  if (failAfterFrames >= 0 && FramesWritten() + frameCount > failAfterFrames) {
    SetError(kCannotWrite);
    return;
  }
  size_t at = static_cast<size_t>(FramesWritten()) * Channels();
  size_t count = static_cast<size_t>(frameCount) * Channels();
  if (samples.size() < at + count) samples.resize(at + count);
  std::copy_n(frames, count, samples.begin() + static_cast<std::ptrdiff_t>(at));
  AddFramesWritten(frameCount);
}

void LMemorySink::Seek(int32_t frame) { SetFramesWritten(std::max(frame, 0)); }

std::vector<int32_t> ReadAll(LSoundStream& stream) {
  std::vector<int32_t> samples(static_cast<size_t>(stream.Length()) * stream.Channels());
  stream.Seek(0);
  stream.Read(samples.data(), stream.Length());
  return samples;
}

std::vector<int32_t> ReadInRandomPieces(LSoundStream& stream, int32_t frames, int32_t maxPiece, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int32_t> size(0, maxPiece);
  std::vector<int32_t> samples(static_cast<size_t>(frames) * stream.Channels());
  for (int32_t done = 0; done < frames;) {
    const int32_t n = std::min(size(random), frames - done);
    stream.Read(samples.data() + static_cast<size_t>(done) * stream.Channels(), n);
    done += n;
  }
  return samples;
}

LSegmentList MakeSound(int32_t rate, int channels, const std::vector<int32_t>& samples) {
  LSegmentList list;
  auto writer = MakeRef<LBlockWriter>(rate, list, channels);
  writer->Write(samples.data(), static_cast<int32_t>(samples.size() / channels));
  writer->Finish();
  return list;
}

}  // namespace klangor::test
