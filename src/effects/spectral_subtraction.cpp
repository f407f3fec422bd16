#include "effects/spectral_subtraction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/effect_math.h"
#include "effects/effect_command.h"
#include "effects/noise_gate.h"
#include "effects/stream_effect.h"
#include "frame/command_steps.h"
#include "settings/settings_keys.h"

namespace klangor {

LSpectralSubtractionStream::LSpectralSubtractionStream(LRef<LSoundStream> input, LNoiseProfile profile)
    : LSoundFilter(std::move(input)),
      profile_(std::move(profile)),
      size_(profile_.size),
      hop_(profile_.size / 4),
      spectral_(profile_.size),
      input_(static_cast<size_t>(size_) * Channels()),
      accumulator_(static_cast<size_t>(size_ / 2) * Channels()),
      output_(static_cast<size_t>(hop_) * Channels()),
      read_(static_cast<size_t>(hop_) * Channels()),
      frame_(static_cast<size_t>(size_)),
      estimate_(static_cast<size_t>(size_)),
      re_(static_cast<size_t>(size_ / 2 + 1)),
      im_(static_cast<size_t>(size_ / 2 + 1)) {
  Restart();
}

void LSpectralSubtractionStream::Restart() {
  std::fill(input_.begin(), input_.end(), 0);
  std::fill(accumulator_.begin(), accumulator_.end(), 0);
  outputIndex_ = 0;
  primed_ = false;
}

void LSpectralSubtractionStream::Hop() {
  const int channels = Channels();
  const int n = size_;
  const int h = hop_;
  const std::vector<float>& window = spectral_.Window();
  Input().Read(read_.data(), h);
  for (int c = 0; c < channels; ++c) {
    int32_t* in = input_.data() + static_cast<size_t>(c) * n;
    int32_t* acc = accumulator_.data() + static_cast<size_t>(c) * (n / 2);
    std::memmove(in, in + h, static_cast<size_t>(n - h) * sizeof(int32_t));
    for (int i = 0; i < h; ++i) in[n - h + i] = read_[static_cast<size_t>(i) * channels + c];

    for (int i = 0; i < n; ++i) frame_[static_cast<size_t>(i)] = static_cast<float>(in[i]);
    spectral_.Forward(frame_.data(), re_.data(), im_.data());
    const std::vector<double>& noise = profile_.noise[static_cast<size_t>(c)];
    for (int k = 0; k < n / 2; ++k) {
      const double re = re_[static_cast<size_t>(k)];
      const double im = im_[static_cast<size_t>(k)];
      const double m = std::sqrt(re * re + im * im);
      const double floor = noise[static_cast<size_t>(k)];
      if (m > floor) {
        const double scale = floor / m;
        re_[static_cast<size_t>(k)] = static_cast<float>(re * scale);
        im_[static_cast<size_t>(k)] = static_cast<float>(im * scale);
      }
    }
    spectral_.Inverse(re_.data(), im_.data(), estimate_.data());

    const auto noiseAt = [&](int i) {
      return static_cast<double>(estimate_[static_cast<size_t>(h + i)]) / window[static_cast<size_t>(h + i)];
    };
    for (int i = 0; i < h; ++i) {
      acc[i] = TruncToInt32(acc[i] - std::trunc(static_cast<double>(i) / h * noiseAt(i)));
    }
    for (int i = h; i < 2 * h; ++i) {
      acc[i] = TruncToInt32(in[h + i] - std::trunc(static_cast<double>(2 * h - i) / h * noiseAt(i)));
    }
    for (int i = 0; i < h; ++i) output_[static_cast<size_t>(i) * channels + c] = acc[i];
    std::memmove(acc, acc + h, static_cast<size_t>(h) * sizeof(int32_t));
  }
}

void LSpectralSubtractionStream::Read(int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  if (!primed_) {
    // The first two hops only fill the overlap: the first one delivers the hop before the start.
    Hop();
    Hop();
    Hop();
    outputIndex_ = 0;
    primed_ = true;
  }
  while (frameCount > 0) {
    if (outputIndex_ >= hop_) {
      Hop();
      outputIndex_ = 0;
    }
    const int32_t n = std::min(frameCount, hop_ - outputIndex_);
    std::memcpy(frames, output_.data() + static_cast<size_t>(outputIndex_) * channels,
                static_cast<size_t>(n) * channels * sizeof(int32_t));
    frames += static_cast<size_t>(n) * channels;
    frameCount -= n;
    outputIndex_ += n;
  }
}

int32_t LSpectralSubtractionStream::Position() const {
  if (!primed_) return Input().Position();
  return SaturateToInt32(int64_t{Input().Position()} - 3 * int64_t{hop_} + outputIndex_);
}

void LSpectralSubtractionStream::Seek(int32_t frame) {
  Input().Seek(frame);
  Restart();
}

bool ProfileFits(const LNoiseProfile& profile, int32_t sampleRate, int channels) {
  return profile.size >= 8 && profile.size <= kMaxSpectralSize && profile.size == SpectralSize(sampleRate) &&
         profile.channels == channels && profile.noise.size() == static_cast<size_t>(channels);
}

LRef<LSoundStream> LSpectralSubtractionProcessor::MakeStream(LRef<LSoundStream> input) const {
  if (!input->Usable() || !ProfileFits(profile_, input->SampleRate(), input->Channels())) return input;
  return LRef<LSoundStream>(MakeRef<LSpectralSubtractionStream>(std::move(input), profile_));
}

namespace {

LResult Subtract(LSoundDocument& document, LNoiseProfile profile, LProgress& progress) {
  return RunStreamEffect(document, {kNoiseReductionTitle, std::make_shared<LSpectralSubtractionProcessor>(std::move(profile))},
                         progress);
}

}  // namespace

LResult RunAutoSpectralSubtraction(LSoundDocument& document, int32_t threshold, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end < start) return LResult::kDone;
  progress.SetTitle(kNoiseReductionTitle);
  LNoiseProfile profile;
  const LResult estimated = EstimateNoiseProfile(document.sound, start, end, threshold, progress, profile);
  if (estimated != LResult::kDone) return estimated;
  return Subtract(document, std::move(profile), progress);
}

LResult CaptureNoiseSample(LSoundDocument& document, LProgress& progress) {
  progress.SetTitle(kGrabNoiseTitle);
  LNoiseProfile profile;
  const LResult result = EstimateNoiseProfile(document.sound, document.selectionStart, document.selectionEnd,
                                              kCaptureThreshold, progress, profile);
  if (result == LResult::kDone) SetCapturedNoiseSample(std::move(profile));
  return result;
}

LResult RunNoiseSampleSubtraction(LSoundDocument& document, LProgress& progress) {
  std::optional<LNoiseProfile> sample = CapturedNoiseSample();
  if (!sample || !ProfileFits(*sample, document.sound.SampleRate(), document.sound.Channels())) {
    return LResult::kFailed;
  }
  if (document.selectionEnd < document.selectionStart) return LResult::kDone;
  return Subtract(document, std::move(*sample), progress);
}

LSpectralSubtractionDialog::LSpectralSubtractionDialog(int32_t value, const LSegmentList& selection)
    : LPreviewDialog(selection), threshold(std::clamp(value, kThresholdMin, kThresholdMax)) {}

void LSpectralSubtractionDialog::ChoosePreset(int index) {
  switch (index) {
    case 1: threshold = 20; break;  // "Für Sprache anwenden"
    case 2: threshold = 10; break;  // "Für Musik anwenden"
    default: break;
  }
}

LRef<LSoundStream> LSpectralSubtractionDialog::PreviewStream() const {
  LSilentProgress progress;
  LNoiseProfile profile;
  if (EstimateNoiseProfile(Selection(), 0, Selection().Length(), threshold, progress, profile) != LResult::kDone) {
    return SelectionStream();
  }
  return LSpectralSubtractionProcessor(std::move(profile)).MakeStream(SelectionStream());
}

void AutoSpectralSubtractionCommand(LCommandContext& context) {
  int32_t threshold = 0;
  LEffectCommand command{.undoName = kAutoSubtractionUndoName,
                         .title = kNoiseReductionTitle,
                         .after = LAfterEffect::kOneSecondPreroll};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LSpectralSubtractionDialog dialog(ctx.settings.Read(kSSNoiseThreshold), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    threshold = dialog.threshold;
    ctx.settings.Write(kSSNoiseThreshold, threshold);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunAutoSpectralSubtraction(document, threshold, progress);
  };
  RunEffectCommand(context, command);
}

void GrabNoiseSampleCommand(LCommandContext& context) {
  LSoundDocument* document = ActiveDocument(context);
  if (document == nullptr) return;
  SelectAllIfNone(*document);
  document->ClampSelection();
  context.frame.StopPlayback();
  const int32_t rate = std::max(document->sound.SampleRate(), 1);
  if ((document->selectionEnd - document->selectionStart) / rate >= 9) {
    context.ui.Message(kSampleTooLongMessage, kSampleTooLongCaption, LButtons::kOk, LIcon::kError);
    return;
  }
  context.ui.RunWithProgress(kGrabNoiseTitle, [&](LProgress& progress) { return CaptureNoiseSample(*document, progress); });
}

void NoiseSampleSubtractionCommand(LCommandContext& context) {
  LEffectCommand command{.undoName = kSampleSubtractionUndoName, .title = kNoiseReductionTitle};
  // A sample that does not fit is refused before anything is recorded.
  command.askValues = [](LCommandContext& ctx, const LSegmentList& selection) {
    std::optional<LNoiseProfile> sample = CapturedNoiseSample();
    if (sample && ProfileFits(*sample, selection.SampleRate(), selection.Channels())) return true;
    ctx.ui.Message(kSampleMismatchMessage, kSampleMismatchCaption, LButtons::kOk, LIcon::kWarning);
    return false;
  };
  command.run = RunNoiseSampleSubtraction;
  RunEffectCommand(context, command);
}

}  // namespace klangor
