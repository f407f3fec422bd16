#include "effects/amplify_normalize.h"

#include <algorithm>
#include <vector>

#include "audio/pump.h"
#include "dsp/fixed_point.h"
#include "store/segment_stream.h"

namespace klangor {

void AmplifySelection(LSoundDocument& document, int32_t percent) {
  document.sound.ScaleRangeGain(document.selectionStart, document.selectionEnd, percent);
}

std::optional<int32_t> PeakOfFrames(LSoundStream& source, int32_t frameCount, LProgress& progress) {
  const int channels = source.Channels();
  std::vector<int32_t> buffer(static_cast<size_t>(kPumpFrames) * channels);
  int32_t peak = 0;
  for (int32_t done = 0; done < frameCount;) {
    if (progress.Cancelled()) return std::nullopt;
    const int32_t n = std::min(frameCount - done, kPumpFrames);
    source.Read(buffer.data(), n);
    peak = std::max(peak, PeakOf(buffer.data(), static_cast<size_t>(n) * channels));
    done += n;
    progress.SetProgress(done, frameCount);
  }
  return peak;
}

int32_t NormalizePercent(int32_t levelPercent, int32_t peak) {
  const int64_t percent = int64_t{levelPercent} * kNormalizeReference / std::max(peak, 1);
  return static_cast<int32_t>(std::clamp<int64_t>(percent, INT32_MIN, kMaxNormalizePercent));
}

LResult RunNormalize(LSoundDocument& document, int32_t levelPercent, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (start >= end) return LResult::kDone;
  progress.SetTitle(kNormalizeTitle);
  progress.SetStatusLine(kPleaseWait);
  LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
  reader->Seek(start);
  const std::optional<int32_t> peak = PeakOfFrames(*reader, end - start, progress);
  if (!peak) return LResult::kCancelled;
  if (*peak == 0) return LResult::kDone;  // silence stays as it is
  AmplifySelection(document, NormalizePercent(levelPercent, *peak));
  return LResult::kDone;
}

std::string LAmplifyDialog::Validate() { return gainPercent > 400 ? kGainMessage : std::string(); }

void LAmplifyDialog::ChoosePreset(int index) {
  static constexpr std::array<int32_t, 5> kGains{0, 25, 50, 200, 300};
  if (index >= 1 && index < static_cast<int>(kGains.size())) gainPercent = kGains[static_cast<size_t>(index)];
}

LRef<LSoundStream> LAmplifyDialog::PreviewStream() const {
  LSegmentList scaled = Selection();
  scaled.ScaleGain(gainPercent);
  return OpenSegmentStream(scaled);
}

std::string LNormalizeDialog::Validate() { return levelPercent > 100 ? kLevelMessage : std::string(); }

void LNormalizeDialog::ChoosePreset(int index) {
  static constexpr std::array<int32_t, 5> kLevels{0, 20, 40, 75, 100};
  if (index >= 1 && index < static_cast<int>(kLevels.size())) levelPercent = kLevels[static_cast<size_t>(index)];
}

LRef<LSoundStream> LNormalizeDialog::PreviewStream() const {
  LSilentProgress progress;
  LRef<LSoundStream> reader = SelectionStream();
  const int32_t peak = PeakOfFrames(*reader, Selection().Length(), progress).value_or(0);
  LSegmentList scaled = Selection();
  if (peak > 0) scaled.ScaleGain(NormalizePercent(levelPercent, peak));
  return OpenSegmentStream(scaled);
}

}  // namespace klangor
