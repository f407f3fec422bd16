#pragma once
// The 2048-band FIR filter: a linear-phase filter of 4095 taps designed from a gain mask of
// 2048 bands (band j lies around j x (rate / 2) / 2048; level 128 is unity, 255 just under
// double). The telephone effect and the equaliser use it.
//
// Design: h[k] = (trunc(sum over n of m[n] x cos(n k pi / 2048)) + 4) >> 3, k = 0..2047.
//
// Filtering: the stream keeps a buffer of 12287 frames (2047 frames of history, 2048 of
// look-ahead and a block of 8192). Each time the buffer is filled it is scaled: s is the
// smallest shift that brings its peak (max(M, -m) over all samples) to 32767 or less, and every
// sample is shifted right by s. Output frame n of each channel is
//   acc = h[0] x[n] + sum over k = 1..2047 of h[k] (x[n + k] + x[n - k])
// in 32-bit arithmetic that wraps, shifted right by 15 - s (a peak of 2^30 or more needs
// s = 16, and the output is then acc shifted left by one). After 8192 frames the last 4095
// frames of the buffer, shifted back left by s, move to its start, the next 8192 frames are
// read after them and the buffer is scaled again.
//
// The output is computed for a whole block at once, either directly (16-bit multiply-adds)
// or through a fast convolution in double precision whose error is bounded below a quarter
// for every block it is used on, so both give the same integers (a loud block is convolved as
// its high bits and its low byte apart); a block whose bound is not met is computed directly. The output does not depend on how the caller slices its reads;
// Seek(f) reads the 2047 frames before f again (the input must deliver silence before its
// start), so a read after a seek equals a read of a fresh stream seeked there.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/sound_stream.h"

namespace klangor {

inline constexpr int kFirBands = 2048;
inline constexpr int32_t kFirHistoryFrames = 2047;
inline constexpr int32_t kFirLookAheadFrames = 2048;
inline constexpr int32_t kFirBlockFrames = 8192;
inline constexpr int32_t kFirBufferFrames = kFirHistoryFrames + kFirLookAheadFrames + kFirBlockFrames;

using LFirMask = std::array<uint8_t, kFirBands>;
using LFirCoefficients = std::array<int32_t, kFirBands>;

LFirCoefficients DesignFir(const LFirMask& mask);

// How the blocks are computed: the fastest exact way, or always directly (for comparisons).
enum class LFirMethod { kFastest, kDirect };

class LFirEngine;

class LFirStream final : public LSoundFilter {
 public:
  // Reads the first block from the input's current position.
  LFirStream(LRef<LSoundStream> input, const LFirCoefficients& coefficients,
             LFirMethod method = LFirMethod::kFastest);
  ~LFirStream() override;

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  void Seek(int32_t frame) override;

  // The shift of the block being output (for tests).
  int BlockShift() const { return shift_; }
  // Blocks computed directly and through the fast convolution so far (for tests and bench).
  int64_t DirectBlocks() const { return directBlocks_; }
  int64_t FastBlocks() const { return fastBlocks_; }

 private:
  void FillFrom(int32_t bufferFrame, int32_t frameCount);
  void NextBlock();
  void ScaleAndCompute();

  std::unique_ptr<LFirEngine> engine_;
  LFirMethod method_;
  std::vector<int32_t> buffer_;  // kFirBufferFrames interleaved frames
  std::vector<int32_t> output_;  // kFirBlockFrames interleaved frames
  std::vector<uint32_t> firstAcc_;   // the wrapped sums of the channels being computed
  std::vector<uint32_t> secondAcc_;
  int32_t blockIndex_ = 0;       // next frame of output_ to deliver
  int shift_ = 0;
  int64_t directBlocks_ = 0;
  int64_t fastBlocks_ = 0;
};

LRef<LSoundStream> MakeFirStream(LRef<LSoundStream> input, const LFirMask& mask,
                                 LFirMethod method = LFirMethod::kFastest);

}  // namespace klangor
