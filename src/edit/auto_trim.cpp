#include "edit/auto_trim.h"

#include <algorithm>

#include "audio/pump.h"
#include "dsp/db_table.h"
#include "platform/file.h"
#include "store/block_store.h"

namespace klangor {
namespace {

constexpr int32_t kGroupFrames = 256;

}  // namespace

std::vector<int32_t> TrimOverview(const LSegmentList& sound) {
  const int64_t channels = std::max(sound.Channels(), 1);
  const int64_t groups = sound.Length() / kGroupFrames + 1;
  std::vector<int32_t> table(static_cast<size_t>(groups * channels * 2), 0);
  std::vector<uint8_t> bytes;
  int64_t position = 0;
  for (const LSegment& segment : sound.Segments()) {
    const int64_t at = position / kGroupFrames;
    position += segment.length;
    if (segment.IsSilence() || segment.length <= 0 || at >= groups) continue;
    const int64_t first = segment.start / kGroupFrames;
    const int64_t last = (int64_t{segment.start} + segment.length - 1) / kGroupFrames;
    const int64_t count = std::min(last - first + 1, groups - at);
    bytes.assign(static_cast<size_t>(count * channels * 2), 0);
    LFile file = LFile::Open(LBlockStore::Instance().FileName(segment.Block(), LBlockFile::kPeaks), LFileMode::kRead);
    // A missing or short peak file counts as silence where it has no entries.
    if (file.IsOpen()) file.ReadAt(first * channels * 2, bytes.data(), static_cast<int64_t>(bytes.size()));
    const int32_t factor = segment.gain >> 16;
    for (size_t i = 0; i < bytes.size(); ++i) {
      table[static_cast<size_t>(at * channels * 2) + i] = bytes[i] * factor >> 8;
    }
  }
  return table;
}

LTrimRange AutoTrimRange(const LSegmentList& sound, int32_t thresholdDb) {
  const std::vector<int32_t> table = TrimOverview(sound);
  const int64_t channels = std::max(sound.Channels(), 1);
  const int64_t entries = static_cast<int64_t>(table.size()) / 2;
  const int32_t largest = table.empty() ? 0 : *std::max_element(table.begin(), table.end());
  const auto t = static_cast<int32_t>(int64_t{largest} * GainOfDb(thresholdDb) / 16777216);
  const auto loud = [&](int64_t entry) {
    return table[static_cast<size_t>(2 * entry)] > t || table[static_cast<size_t>(2 * entry + 1)] > t;
  };
  LTrimRange range{0, sound.Length()};
  for (int64_t entry = channels; entry < entries; ++entry) {
    if (loud(entry)) {
      range.start = static_cast<int32_t>((entry / channels) * kGroupFrames - kGroupFrames);
      break;
    }
  }
  for (int64_t entry = entries - 2 * channels; entry >= 0; --entry) {
    if (loud(entry)) {
      range.end = static_cast<int32_t>((entry / channels + 1) * kGroupFrames);
      break;
    }
  }
  return range;
}

LResult RunAutoTrim(LSoundDocument& document, int32_t thresholdDb, LProgress& progress) {
  progress.SetTitle(kAutoTrimTitle);
  progress.SetStatusLine(kPleaseWait);
  const LTrimRange keep = AutoTrimRange(document.sound, thresholdDb);
  if (progress.Cancelled()) return LResult::kCancelled;
  document.sound.DeleteRange(keep.end, document.Length());
  document.sound.DeleteRange(0, keep.start);
  document.SetSelection(0, 0, 0);
  document.LengthChanged();
  return LResult::kDone;
}

}  // namespace klangor
