#include "effects/dc_offset.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/pump.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

void AddSums(const int32_t* samples, int32_t frameCount, int channels, int64_t* sums) {
  if (channels == 2) {
    int64_t left = 0;
    int64_t right = 0;
    for (int32_t i = 0; i < frameCount; ++i) {
      left += samples[2 * i];
      right += samples[2 * i + 1];
    }
    sums[0] += left;
    sums[1] += right;
    return;
  }
  for (int32_t i = 0; i < frameCount; ++i) {
    for (int c = 0; c < channels; ++c) sums[c] += samples[static_cast<size_t>(i) * channels + c];
  }
}

void SubtractOffsets(int32_t* samples, int32_t frameCount, int channels, const int32_t* offsets) {
  for (int32_t i = 0; i < frameCount; ++i) {
    for (int c = 0; c < channels; ++c) {
      int32_t& sample = samples[static_cast<size_t>(i) * channels + c];
      sample = static_cast<int32_t>(static_cast<uint32_t>(sample) - static_cast<uint32_t>(offsets[c]));
    }
  }
}

// The offset of each channel: its mean, truncated toward zero; a length of 0 counts as 1.
std::vector<int32_t> DcOffsets(const std::vector<int64_t>& sums, int64_t frameCount) {
  const double n = static_cast<double>(std::max<int64_t>(frameCount, 1));
  std::vector<int32_t> offsets;
  for (int64_t sum : sums) offsets.push_back(static_cast<int32_t>(std::trunc(static_cast<double>(sum) / n)));
  return offsets;
}

}  // namespace

LResult CorrectDcOffset(LSoundStream& source, LSoundSink& sink, LProgress& progress) {
  if (!source.Usable() || sink.Failed() || source.Channels() != sink.Channels() ||
      source.SampleRate() != sink.SampleRate()) {
    return LResult::kFailed;
  }
  progress.SetStatusLine(kPleaseWait);
  const int channels = source.Channels();
  const int64_t length = std::max<int32_t>(source.Length(), 0);
  const int64_t total = std::max<int64_t>(2 * length, 1);
  std::vector<int32_t> buffer(static_cast<size_t>(kPumpFrames) * channels);

  std::vector<int64_t> sums(static_cast<size_t>(channels), 0);
  source.Seek(0);
  for (int64_t done = 0; done < length;) {
    if (progress.Cancelled()) return LResult::kCancelled;
    const auto n = static_cast<int32_t>(std::min<int64_t>(length - done, kPumpFrames));
    source.Read(buffer.data(), n);
    AddSums(buffer.data(), n, channels, sums.data());
    done += n;
    progress.SetProgress(done, total);
  }
  const std::vector<int32_t> offsets = DcOffsets(sums, length);

  source.Seek(0);
  for (int64_t done = 0; done < length;) {
    if (progress.Cancelled()) return LResult::kCancelled;
    const auto n = static_cast<int32_t>(std::min<int64_t>(length - done, kPumpFrames));
    source.Read(buffer.data(), n);
    SubtractOffsets(buffer.data(), n, channels, offsets.data());
    sink.Write(buffer.data(), n);
    if (sink.Failed()) return LResult::kFailed;
    done += n;
    progress.SetProgress(length + done, total);
  }
  return LResult::kDone;
}

LResult RunDcOffset(LSoundDocument& document, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end <= start) return LResult::kDone;
  progress.SetTitle(kDcOffsetName);
  LSegmentList selection;
  document.sound.ExtractRange(start, end, selection);
  LRef<LSoundStream> source = OpenSegmentStream(selection);
  return ReplaceSelectionWith(document, [&](LSoundSink& sink) { return CorrectDcOffset(*source, sink, progress); });
}

}  // namespace klangor
