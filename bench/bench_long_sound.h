#pragma once
// Long stereo documents for the waveform benchmarks without writing hours of audio: one
// block whose peak file is written in full (a slowly swinging envelope, as the block writer
// would store it) and whose audio file is sparse, with real samples only in the stretch
// around the middle where the zoomed-in benchmarks look. The peak-file path reads exactly
// what it reads for a recorded sound; the sample path reads real samples.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/file.h"
#include "store/block_store.h"
#include "store/segment_list.h"

namespace klangor::bench {

inline constexpr int64_t kLongRate = 44100;
// Frames of real audio around the middle of a long sound.
inline constexpr int64_t kRealFrames = kLongRate * 60;

inline LSegmentList LongStereoSound(int64_t minutes) {
  // Kept for the whole run and never destroyed: the block store may be gone at exit before a
  // static list could release its segments.
  static auto* made = new std::map<int64_t, LSegmentList>;
  auto found = made->find(minutes);
  if (found != made->end()) return found->second;
  static bool folder = LBlockStore::Instance().SetWorkingFolder(
      (std::filesystem::temp_directory_path() / "klangor-bench").string());
  (void)folder;
  const int64_t frames = minutes * 60 * kLongRate;
  LBlockStore& store = LBlockStore::Instance();
  const uint16_t block = store.Allocate();
  const int64_t groups = (frames + 255) / 256;
  std::vector<uint8_t> peaks(static_cast<size_t>(groups) * 4);
  for (int64_t g = 0; g < groups; ++g) {
    const auto level = static_cast<uint8_t>(30 + 200 * std::fabs(std::sin(static_cast<double>(g) * 0.0007)));
    for (int k = 0; k < 4; ++k) peaks[static_cast<size_t>(g * 4 + k)] = static_cast<uint8_t>(level - 10 * k);
  }
  LFile peakFile = LFile::Open(store.FileName(block, LBlockFile::kPeaks), LFileMode::kCreateAlways, 0600);
  peakFile.WriteAt(0, peaks.data(), static_cast<int64_t>(peaks.size()));
  LFile audio = LFile::Open(store.FileName(block, LBlockFile::kAudio), LFileMode::kCreateAlways, 0600);
  audio.Truncate(frames * 8);
  const int64_t middle = std::max<int64_t>(frames / 2 - kRealFrames / 2, 0);
  std::vector<int32_t> samples(static_cast<size_t>(std::min(kRealFrames, frames)) * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int32_t>(300000 * std::sin(static_cast<double>(i / 2) * 0.031 + (i % 2)));
  }
  audio.WriteAt(middle * 8, samples.data(), static_cast<int64_t>(samples.size()) * 4);
  LSegmentList sound(static_cast<int32_t>(kLongRate), 2);
  sound.Append(LSegment::AdoptBlock(block, 0, static_cast<int32_t>(frames)));
  return made->emplace(minutes, sound).first->second;
}

}  // namespace klangor::bench
