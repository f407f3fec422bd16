#pragma once
// The common read rule for mono streams that decode sample by sample (GSM, VOX): a read of
// `count` samples advances the position first; samples before 0 and from the length on are
// silence; the samples in between come from `decode(first, samples, out)`, which decodes
// `samples` samples starting at `first` into `out`.

#include <algorithm>
#include <cstdint>

namespace klangor {

template <class Decode>
void ReadMonoWithinLength(int64_t& position, int64_t length, int32_t* out, int32_t count, Decode decode) {
  if (count <= 0) return;
  const int64_t first = position;
  const int64_t end = first + count;
  position = end;
  const int64_t inFirst = std::max<int64_t>(first, 0);
  const int64_t inEnd = std::min(end, length);
  if (inFirst >= inEnd) {
    std::fill_n(out, count, 0);
    return;
  }
  std::fill_n(out, inFirst - first, 0);
  decode(inFirst, inEnd - inFirst, out + (inFirst - first));
  std::fill(out + (inEnd - first), out + count, 0);
}

}  // namespace klangor
