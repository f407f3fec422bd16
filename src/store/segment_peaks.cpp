#include "store/segment_peaks.h"

#include <algorithm>
#include <vector>

#include "platform/file.h"

namespace klangor {
namespace {

constexpr int64_t kGroupFrames = 256;
constexpr int64_t kChunkBytes = 65536;

// The largest magnitude a group with entry `entry` may hold after the read gain (512 = unity),
// rounded away from zero.
int64_t BoundAfterGain(int entry, int32_t readGain) {
  const int64_t bound = int64_t{entry} * 2048 + 2047;
  return (bound * readGain + 511) >> 9;
}

}  // namespace

bool SegmentStaysWithin(const LSegment& segment, int channels, int32_t largest, int32_t smallest) {
  if (largest < 0 || smallest > 0) return false;
  if (segment.IsSilence() || segment.length <= 0) return true;
  const int32_t readGain = segment.gain >> 15;
  if (readGain == 0) return true;
  LFile file = LFile::Open(LBlockStore::Instance().FileName(segment.Block(), LBlockFile::kPeaks), LFileMode::kRead);
  if (!file.IsOpen()) return false;
  const int64_t entrySize = int64_t{channels} * 2;
  const int64_t first = segment.start / kGroupFrames;
  const int64_t last = (int64_t{segment.start} + segment.length - 1) / kGroupFrames;
  int64_t offset = first * entrySize;
  const int64_t end = (last + 1) * entrySize;
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min(end - offset, kChunkBytes)));
  while (offset < end) {
    const int64_t want = std::min(end - offset, static_cast<int64_t>(chunk.size()));
    if (file.ReadAt(offset, chunk.data(), want) != want) return false;
    // Even bytes are positive peaks, odd bytes negative ones.
    int top = 0;
    int bottom = 0;
    for (int64_t i = 0; i < want; i += 2) {
      top = std::max<int>(top, chunk[static_cast<size_t>(i)]);
      bottom = std::max<int>(bottom, chunk[static_cast<size_t>(i) + 1]);
    }
    if (top == 255 || bottom == 255) return false;
    if (BoundAfterGain(top, readGain) > largest || -BoundAfterGain(bottom, readGain) < smallest) return false;
    offset += want;
  }
  return true;
}

}  // namespace klangor
