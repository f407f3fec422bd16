#include "effects/auto_volume.h"

#include <algorithm>
#include <string>
#include <vector>

#include "audio/pump.h"
#include "audio/sample_format.h"
#include "dsp/limiter.h"
#include "dsp/processing_pump.h"
#include "effects/effect_command.h"
#include "effects/level.h"
#include "effects/one_pole.h"
#include "effects/volume_gain_stream.h"
#include "platform/file.h"
#include "platform/temporary_file.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

constexpr double kHighPassHz = 450.0;
constexpr double kLowPassHz = 2200.0;

// The speech-weighted copy of one channel of a piece of interleaved frames.
class LSpeechWeighting {
 public:
  explicit LSpeechWeighting(int32_t sampleRate)
      : highPass_(OnePoleCoefficient(kHighPassHz, sampleRate)),
        lowPass_(OnePoleCoefficient(kLowPassHz, sampleRate)) {}

  void Weigh(const int32_t* frames, int32_t frameCount, int channels, int channel, int32_t* out) {
    for (int32_t i = 0; i < frameCount; ++i) {
      const int32_t high = highPass_.Process(frames[static_cast<size_t>(i) * channels + channel]);
      const int32_t low = lowPass_.Process(high);
      // high + (high - low), in wrapping 32-bit arithmetic
      out[i] = static_cast<int32_t>(2u * static_cast<uint32_t>(high) - static_cast<uint32_t>(low));
    }
  }

 private:
  LOnePoleHighPass highPass_;
  LOnePoleLowPass lowPass_;
};

}  // namespace

int AutoVolumeTarget(const LLevelHistogram& histogram) {
  auto count = [&histogram](int level) { return histogram[static_cast<size_t>(level + 127)]; };
  int64_t windows = 0;
  for (int64_t n : histogram) windows += n;
  if (windows <= 0) return -127;
  const int64_t allowedAbove = (windows + 8) >> 3;
  int level = -127;
  int64_t above = windows - count(level);
  while (above > allowedAbove && level < 127) {
    ++level;
    above -= count(level);
  }
  const int floor = level <= -113 ? -127 : level - 14;
  int64_t atOrAbove = 0;
  for (int l = floor; l <= 127; ++l) atOrAbove += count(l);
  const int64_t middle = atOrAbove / 2;
  int64_t seen = 0;
  for (int l = floor; l <= 127; ++l) {
    seen += count(l);
    if (seen > middle) return l;
  }
  return -127;
}

LResult AutoVolume(LRef<LSoundStream> source, LSoundSink& sink, LProgress& progress) {
  progress.SetTitle(kAutoVolumeTitle);
  progress.SetStatusLine(kAutoVolumeStatus);
  progress.SetProgress(0, 1);
  if (!source || !source->Usable() || sink.Failed()) return LResult::kFailed;
  if (source->Channels() != sink.Channels() || source->SampleRate() != sink.SampleRate()) {
    return LResult::kFailed;
  }
  const int channels = source->Channels();
  const int32_t rate = source->SampleRate();
  const int64_t length = std::max<int64_t>(int64_t{source->Length()} - source->Position(), 0);
  if (length == 0) return LResult::kDone;

  LAutoVolumeAnalysis analysis;
  analysis.sampleRate = rate;
  analysis.channels = channels;
  analysis.windowFrames = std::clamp(rate / 50, 20, 8192);
  const int32_t window = analysis.windowFrames;
  analysis.windowCount = (length + window - 1) / window;

  LTemporaryFile sampleFile("avc-samples");
  LTemporaryFile levelFile("avc-levels");
  if (!sampleFile.IsOpen() || !levelFile.IsOpen()) return LResult::kFailed;

  // First pass: store the frames and measure every window.
  const int32_t windowsPerPiece = std::max(1, kPumpFrames / window);
  std::vector<int32_t> piece(static_cast<size_t>(windowsPerPiece) * window * channels);
  std::vector<int32_t> weighted(static_cast<size_t>(window));
  std::vector<int8_t> levels(static_cast<size_t>(windowsPerPiece) * channels);
  std::vector<LSpeechWeighting> weighting(static_cast<size_t>(channels), LSpeechWeighting(rate));
  std::vector<LLevelHistogram> histograms(static_cast<size_t>(channels), LLevelHistogram{});
  for (int64_t done = 0; done < analysis.windowCount;) {
    if (progress.Cancelled()) return LResult::kCancelled;
    const auto count = static_cast<int32_t>(std::min<int64_t>(windowsPerPiece, analysis.windowCount - done));
    const int32_t frames = count * window;
    source->Read(piece.data(), frames);
    if (!sampleFile.Append(piece.data(), int64_t{frames} * channels * 4)) return LResult::kFailed;
    for (int32_t w = 0; w < count; ++w) {
      const int32_t* windowFrames = piece.data() + static_cast<size_t>(w) * window * channels;
      for (int c = 0; c < channels; ++c) {
        weighting[static_cast<size_t>(c)].Weigh(windowFrames, window, channels, c, weighted.data());
        const int level = LevelOf(weighted.data(), weighted.size());
        levels[static_cast<size_t>(w) * channels + c] = static_cast<int8_t>(level);
        ++histograms[static_cast<size_t>(c)][static_cast<size_t>(level + 127)];
      }
    }
    if (!levelFile.Append(levels.data(), int64_t{count} * channels)) return LResult::kFailed;
    done += count;
    progress.SetProgress(std::min(done * window, length), 2 * length);
  }
  for (const LLevelHistogram& histogram : histograms) analysis.targets.push_back(AutoVolumeTarget(histogram));

  // Second pass: the gain stream over the two files, limited, into the sink.
  LFile samples = sampleFile.OpenForReading();
  LFile windowLevels = levelFile.OpenForReading();
  if (!samples.IsOpen() || !windowLevels.IsOpen()) return LResult::kFailed;
  LRef<LSoundStream> gain = MakeRef<LVolumeGainStream>(std::move(samples), std::move(windowLevels), analysis);
  LRef<LSoundStream> limited = MakeLimiter(std::move(gain), kFullScale16);
  return CopyFrames(*limited, sink, length, progress, length, 2 * length);
}

LResult RunAutoVolume(LSoundDocument& document, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end <= start) return LResult::kDone;
  LSegmentList selection;
  document.sound.ExtractRange(start, end, selection);
  return ReplaceSelectionWith(document,
                              [&](LSoundSink& sink) { return AutoVolume(OpenSegmentStream(selection), sink, progress); });
}

void AutoVolumeCommand(LCommandContext& context) {
  RunEffectCommand(context, {.undoName = kAutoVolumeName, .title = kAutoVolumeTitle, .run = RunAutoVolume});
}

}  // namespace klangor
