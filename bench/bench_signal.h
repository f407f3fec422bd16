#pragma once
// The benchmarks' audio: one second of music-like stereo 44100 Hz audio (two tones whose
// level swings slowly between quiet and loud), repeated as long as a benchmark needs, either
// from memory or from the block store.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <vector>

#include "audio/sample_format.h"
#include "audio/sound_stream.h"
#include "store/block_store.h"
#include "store/block_writer.h"

namespace klangor::bench {

inline constexpr int32_t kRate = 44100;
inline constexpr int kChannels = 2;
inline constexpr int32_t kSeconds = 600;  // the documents' length: 10 minutes
inline constexpr int32_t kFrames = kRate * kSeconds;

// The level swings between `quiet` and `quiet + swing` internal units 1.5 times a second.
inline std::vector<int32_t> MusicSecond(double quiet, double swing) {
  std::vector<int32_t> samples(static_cast<size_t>(kRate) * kChannels);
  const double twoPi = 2 * std::numbers::pi;
  for (int32_t i = 0; i < kRate; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double level = quiet + swing * (0.5 + 0.5 * std::sin(twoPi * 1.5 * t));
    samples[static_cast<size_t>(2 * i)] = static_cast<int32_t>(level * std::sin(twoPi * 220 * t));
    samples[static_cast<size_t>(2 * i + 1)] = static_cast<int32_t>(level * std::sin(twoPi * 330 * t));
  }
  return samples;
}

// `length` frames made of one second held in memory, repeated.
class LLoopStream final : public LSoundStream {
 public:
  LLoopStream(std::vector<int32_t> second, int32_t length)
      : LSoundStream(kRate, kDocumentFullScale, kChannels), second_(std::move(second)), length_(length) {}
  void Read(int32_t* frames, int32_t frameCount) override {
    while (frameCount > 0) {
      const int32_t offset = static_cast<int32_t>(position_ % kRate);
      const int32_t n = std::min(frameCount, kRate - offset);
      std::memcpy(frames, second_.data() + static_cast<size_t>(offset) * kChannels,
                  static_cast<size_t>(n) * kChannels * sizeof(int32_t));
      frames += static_cast<size_t>(n) * kChannels;
      frameCount -= n;
      position_ += n;
    }
  }
  // The position runs on past the 32-bit range in long benchmarks; it is reported saturated.
  int32_t Position() const override { return static_cast<int32_t>(std::min<int64_t>(position_, INT32_MAX)); }
  int32_t Length() const override { return length_; }
  void Seek(int32_t frame) override { position_ = std::max(frame, 0); }

 private:
  std::vector<int32_t> second_;
  int32_t length_;
  int64_t position_ = 0;
};

// kSeconds of `second` written into the block store (in a temporary working folder).
inline LSegmentList RepeatedInStore(const std::vector<int32_t>& second) {
  LBlockStore::Instance().SetWorkingFolder((std::filesystem::temp_directory_path() / "klangor-bench").string());
  LSegmentList list;
  auto writer = MakeRef<LBlockWriter>(kRate, list, kChannels);
  for (int32_t s = 0; s < kSeconds; ++s) writer->Write(second.data(), kRate);
  writer->Finish();
  return list;
}

// "x_realtime": how many times faster than real time one iteration over `seconds` of audio is.
inline void SetRealtime(benchmark::State& state, double seconds = kSeconds) {
  state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace klangor::bench
