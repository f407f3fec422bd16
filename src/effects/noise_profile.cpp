#include "effects/noise_profile.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "audio/pump.h"
#include "dsp/effect_math.h"
#include "store/segment_stream.h"

namespace klangor {

int SpectralSize(int32_t sampleRate) { return TransformSizeFor(sampleRate / 33); }

int BinLevel(double magnitude) {
  if (!(magnitude > 0.0)) return -127;
  const double ratio = magnitude / kBinLevelReference;
  double db = 20.0 * std::log10(ratio);
  db += ratio >= 1.0 ? 0.5 : -0.5;
  return static_cast<int>(std::clamp(std::trunc(db), -127.0, 127.0));
}

double BinMagnitude(int level) { return std::pow(10.0, level / 20.0) * kBinLevelReference; }

LSpectralFrame::LSpectralFrame(int size)
    : size_(size), fft_(size), window_(static_cast<size_t>(size)), windowed_(static_cast<size_t>(size)) {
  for (int i = 0; i < size; ++i) {
    window_[static_cast<size_t>(i)] = static_cast<float>(0.54 - 0.46 * std::cos(2.0 * kPi * i / size));
  }
}

void LSpectralFrame::Forward(const float* samples, float* re, float* im) {
  const float scale = 1.0f / static_cast<float>(size_);
  for (int i = 0; i < size_; ++i) windowed_[static_cast<size_t>(i)] = samples[i] * window_[static_cast<size_t>(i)] * scale;
  fft_.RealForward(windowed_.data(), re, im);
}

void LSpectralFrame::Inverse(const float* re, const float* im, float* samples) {
  fft_.RealInverse(re, im, samples);
}

LNoiseProfileSink::LNoiseProfileSink(int32_t sampleRate, int channels)
    : LSoundSink(sampleRate, channels),
      size_(std::min(SpectralSize(sampleRate), kMaxSpectralSize)),
      frame_(size_),
      block_(static_cast<size_t>(size_) * Channels()),
      histograms_(static_cast<size_t>(Channels()) * (size_ / 2) * 256),
      samples_(static_cast<size_t>(size_)),
      re_(static_cast<size_t>(size_ / 2 + 1)),
      im_(static_cast<size_t>(size_ / 2 + 1)) {}

void LNoiseProfileSink::Write(const int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  const int bins = size_ / 2;
  for (int32_t done = 0; done < frameCount;) {
    const int32_t n = std::min(frameCount - done, size_ - filled_);
    std::copy_n(frames + static_cast<size_t>(done) * channels, static_cast<size_t>(n) * channels,
                block_.begin() + static_cast<std::ptrdiff_t>(filled_) * channels);
    filled_ += n;
    done += n;
    if (filled_ < size_) break;
    filled_ = 0;
    ++blocks_;
    for (int c = 0; c < channels; ++c) {
      for (int i = 0; i < size_; ++i) samples_[static_cast<size_t>(i)] = static_cast<float>(block_[static_cast<size_t>(i) * channels + c]);
      frame_.Forward(samples_.data(), re_.data(), im_.data());
      uint32_t* histogram = histograms_.data() + static_cast<size_t>(c) * bins * 256;
      for (int k = 0; k < bins; ++k) {
        const double m = std::hypot(static_cast<double>(re_[static_cast<size_t>(k)]), static_cast<double>(im_[static_cast<size_t>(k)]));
        ++histogram[static_cast<size_t>(k) * 256 + static_cast<size_t>(BinLevel(m) + 128)];
      }
    }
  }
  AddFramesWritten(frameCount);
}

LNoiseProfile LNoiseProfileSink::Profile(int32_t threshold) const {
  const int channels = Channels();
  const int bins = size_ / 2;
  const int64_t q = std::clamp(threshold, 0, 100);
  const int64_t count = std::max<int64_t>((blocks_ / 10) * q / 10, 1);
  LNoiseProfile profile{size_, channels, {}};
  for (int c = 0; c < channels; ++c) {
    std::vector<double> noise(static_cast<size_t>(bins), BinMagnitude(-127));
    const uint32_t* histogram = histograms_.data() + static_cast<size_t>(c) * bins * 256;
    for (int k = 0; k < bins; ++k) {
      int64_t sum = 0;
      for (int level = 0; level < 256; ++level) {
        sum += histogram[static_cast<size_t>(k) * 256 + static_cast<size_t>(level)];
        if (sum >= count) {
          noise[static_cast<size_t>(k)] = BinMagnitude(std::clamp(level - 128, -127, 127));
          break;
        }
      }
    }
    profile.noise.push_back(std::move(noise));
  }
  return profile;
}

LResult EstimateNoiseProfile(const LSegmentList& sound, int32_t start, int32_t end, int32_t threshold,
                             LProgress& progress, LNoiseProfile& profile) {
  if (SpectralSize(sound.SampleRate()) > kMaxSpectralSize) return LResult::kFailed;
  LRef<LSoundStream> reader = OpenSegmentStream(sound);
  auto sink = MakeRef<LNoiseProfileSink>(sound.SampleRate(), sound.Channels());
  const LResult result = PumpRange(*reader, *sink, start, std::max(start, end), progress);
  if (result != LResult::kDone) return result;
  profile = sink->Profile(threshold);
  return LResult::kDone;
}

namespace {

std::mutex& SampleMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<LNoiseProfile>& Sample() {
  static std::optional<LNoiseProfile> sample;
  return sample;
}

}  // namespace

void SetCapturedNoiseSample(LNoiseProfile profile) {
  std::lock_guard<std::mutex> lock(SampleMutex());
  Sample() = std::move(profile);
}

std::optional<LNoiseProfile> CapturedNoiseSample() {
  std::lock_guard<std::mutex> lock(SampleMutex());
  return Sample();
}

}  // namespace klangor
