#include "effects/auto_volume.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
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
#include "platform/paths.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

constexpr double kHighPassHz = 450.0;
constexpr double kLowPassHz = 2200.0;

// A file of our own in the private temporary folder, removed when the object goes.
class LTemporaryFile {
 public:
  explicit LTemporaryFile(const std::string& role) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = TemporaryFolder();
    if (folder.empty()) return;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string path = JoinPath(folder, "avc-" + std::to_string(::getpid()) + "-" +
                                              std::to_string(counter.fetch_add(1)) + "-" + role);
      file_ = LFile::Open(path, LFileMode::kCreateExclusive, 0600);
      if (file_.IsOpen()) {
        path_ = std::move(path);
        return;
      }
      if (file_.OpenError() != EEXIST) return;
    }
  }
  ~LTemporaryFile() {
    file_.Close();
    if (!path_.empty()) RemoveFile(path_);
  }
  LTemporaryFile(const LTemporaryFile&) = delete;
  LTemporaryFile& operator=(const LTemporaryFile&) = delete;

  bool IsOpen() const { return file_.IsOpen(); }
  bool Append(const void* data, int64_t bytes) { return file_.Write(data, bytes); }
  // A second handle for reading, independent of the writing one.
  LFile OpenForReading() const { return LFile::Open(path_, LFileMode::kRead); }

 private:
  std::string path_;
  LFile file_;
};

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

// The first pass as a sink: the frames go unchanged into the sample file; every window of
// `window` frames is measured per channel (speech-weighted level byte), the bytes go into the
// level file and each channel's histogram. Finish pads the last window with zeros (in both
// files), as reading on past the end of the source would.
class LLevelAnalysisSink final : public LSoundSink {
 public:
  LLevelAnalysisSink(int32_t sampleRate, int channels, int32_t window)
      : LSoundSink(sampleRate, channels),
        samples_("samples"),
        levels_("levels"),
        window_(window),
        pending_(static_cast<size_t>(window) * Channels()),
        weighted_(static_cast<size_t>(window)),
        weighting_(static_cast<size_t>(Channels()), LSpeechWeighting(sampleRate)),
        histograms_(static_cast<size_t>(Channels()), LLevelHistogram{}) {}

  bool Ready() const { return samples_.IsOpen() && levels_.IsOpen(); }
  const LTemporaryFile& Samples() const { return samples_; }
  const LTemporaryFile& Levels() const { return levels_; }
  const std::vector<LLevelHistogram>& Histograms() const { return histograms_; }

  void Write(const int32_t* frames, int32_t frameCount) override {
    if (frameCount <= 0 || Failed()) return;
    const int channels = Channels();
    if (!samples_.Append(frames, int64_t{frameCount} * channels * 4)) return SetError(kCannotWrite);
    AddFramesWritten(frameCount);
    while (frameCount > 0) {
      if (filled_ == 0 && frameCount >= window_) {  // a whole window in place
        Measure(frames);
        frames += static_cast<size_t>(window_) * channels;
        frameCount -= window_;
        continue;
      }
      const int32_t n = std::min(frameCount, window_ - filled_);
      std::copy_n(frames, static_cast<size_t>(n) * channels, pending_.begin() + static_cast<ptrdiff_t>(filled_) * channels);
      filled_ += n;
      frames += static_cast<size_t>(n) * channels;
      frameCount -= n;
      if (filled_ == window_) {
        Measure(pending_.data());
        filled_ = 0;
      }
    }
    FlushLevels();
  }
  void Seek(int32_t) override {}
  void Finish() override {
    if (filled_ == 0 || Failed()) return;
    std::fill(pending_.begin() + static_cast<ptrdiff_t>(filled_) * Channels(), pending_.end(), 0);
    const size_t padding = static_cast<size_t>(window_ - filled_) * Channels();
    if (!samples_.Append(pending_.data() + pending_.size() - padding, static_cast<int64_t>(padding) * 4)) {
      return SetError(kCannotWrite);
    }
    Measure(pending_.data());
    filled_ = 0;
    FlushLevels();
  }

 private:
  void Measure(const int32_t* windowFrames) {
    const int channels = Channels();
    for (int c = 0; c < channels; ++c) {
      weighting_[static_cast<size_t>(c)].Weigh(windowFrames, window_, channels, c, weighted_.data());
      const int level = LevelOf(weighted_.data(), weighted_.size());
      levelBytes_.push_back(static_cast<int8_t>(level));
      ++histograms_[static_cast<size_t>(c)][static_cast<size_t>(level + 127)];
    }
  }
  void FlushLevels() {
    if (levelBytes_.empty()) return;
    if (!levels_.Append(levelBytes_.data(), static_cast<int64_t>(levelBytes_.size()))) SetError(kCannotWrite);
    levelBytes_.clear();
  }

  LTemporaryFile samples_;
  LTemporaryFile levels_;
  int32_t window_;
  std::vector<int32_t> pending_;  // the window being filled
  int32_t filled_ = 0;            // frames in `pending_`
  std::vector<int32_t> weighted_;
  std::vector<int8_t> levelBytes_;
  std::vector<LSpeechWeighting> weighting_;
  std::vector<LLevelHistogram> histograms_;
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

  // First pass: store the frames and measure every window.
  auto firstPass = MakeRef<LLevelAnalysisSink>(rate, channels, window);
  if (!firstPass->Ready()) return LResult::kFailed;
  const LResult measured = CopyFrames(*source, *firstPass, length, progress, 0, 2 * length);
  if (measured != LResult::kDone) return measured;
  firstPass->Finish();
  if (firstPass->Failed()) return LResult::kFailed;
  for (const LLevelHistogram& histogram : firstPass->Histograms()) {
    analysis.targets.push_back(AutoVolumeTarget(histogram));
  }

  // Second pass: the gain stream over the two files, limited, into the sink.
  LFile samples = firstPass->Samples().OpenForReading();
  LFile windowLevels = firstPass->Levels().OpenForReading();
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
