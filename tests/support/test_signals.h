#pragma once
// Test signals, streams over samples in memory, documents, progress recorders and
// measurements, shared by the tests of the stream plumbing and the effects.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/sound_stream.h"
#include "effects/level.h"
#include "platform/cpu_features.h"
#include "store/segment_stream.h"
#include "store/sound_document.h"
#include "support/test_streams.h"

namespace klangor::test {

inline constexpr double kPi = 3.14159265358979323846;

inline int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v));
}

// --- Signals and streams ---

// Deterministic test audio: tones plus hashed noise of about `amplitude`.
inline int32_t TestSample(int64_t frame, int channel, int32_t amplitude) {
  const uint32_t hash = static_cast<uint32_t>(frame * 2654435761LL + channel * 40503 + 17);
  const double tone = std::sin(0.031 * static_cast<double>(frame) * (channel + 1)) * 0.6 +
                      std::sin(0.0023 * static_cast<double>(frame)) * 0.3;
  return static_cast<int32_t>(tone * amplitude) + static_cast<int32_t>(hash % 2001) - 1000;
}

inline LRef<LSoundStream> TestAudio(int32_t rate, int channels, int32_t length, int32_t amplitude = 400000) {
  return MakeRef<LFunctionStream>(
      rate, channels, length, [amplitude](int64_t frame, int channel) { return TestSample(frame, channel, amplitude); },
      2097152);
}

inline std::vector<int32_t> TestSamples(int channels, int32_t length, int32_t amplitude = 400000) {
  std::vector<int32_t> samples;
  for (int32_t f = 0; f < length; ++f) {
    for (int c = 0; c < channels; ++c) samples.push_back(TestSample(f, c, amplitude));
  }
  return samples;
}

// A sine per channel (440 Hz + 110 Hz per channel) whose amplitude switches between `quiet`
// and `loud` every `passageMs` milliseconds, starting quiet.
inline LRef<LSoundStream> Passages(int32_t rate, int channels, int32_t length, int32_t quiet, int32_t loud,
                                   int32_t passageMs, int32_t fullScale = 2097152) {
  return MakeRef<LFunctionStream>(
      rate, channels, length,
      [=](int64_t frame, int channel) {
        const int64_t passage = frame * 1000 / rate / passageMs;
        const double amplitude = passage % 2 == 0 ? quiet : loud;
        const double phase = 2.0 * kPi * (440.0 + 110.0 * channel) * static_cast<double>(frame) / rate;
        return static_cast<int32_t>(std::lround(amplitude * std::sin(phase)));
      },
      fullScale);
}

// Interleaved tones: channel c holds amplitude x sin(2 pi (freq + c x spread) t).
inline std::vector<int32_t> Tone(int32_t rate, int channels, int32_t frames, double freq, double amplitude,
                                 double spread = 0.0) {
  std::vector<int32_t> samples(static_cast<size_t>(frames) * channels);
  for (int32_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      samples[static_cast<size_t>(f) * channels + c] =
          static_cast<int32_t>(std::lround(amplitude * std::sin(2.0 * kPi * (freq + c * spread) * f / rate)));
    }
  }
  return samples;
}

// A stream over samples held in memory (zeros outside them).
inline LRef<LSoundStream> SamplesStream(int32_t rate, int channels, std::vector<int32_t> samples,
                                        int32_t fullScale = 524272) {
  const auto length = static_cast<int32_t>(samples.size() / channels);
  return MakeRef<LFunctionStream>(
      rate, channels, length,
      [samples = std::move(samples), channels](int64_t f, int c) { return samples[f * channels + c]; }, fullScale);
}

inline LRef<LSoundStream> ToneStream(int32_t rate, int channels, int32_t frames, double freq, double amplitude,
                                     double spread = 0.0) {
  return SamplesStream(rate, channels, Tone(rate, channels, frames, freq, amplitude, spread));
}

// --- Reading ---

// Runs `check` with the AVX2 code paths (where the processor has them) and with the portable
// ones: both must give the same results.
inline void ForEachCodePath(const std::function<void()>& check) {
  for (bool avx2 : {true, false}) {
    SCOPED_TRACE(avx2 ? "AVX2 code" : "portable code");
    SetAvx2Allowed(avx2);
    check();
  }
  SetAvx2Allowed(true);
}

inline std::vector<int32_t> ReadFrames(LSoundStream& stream, int32_t frameCount) {
  std::vector<int32_t> samples(static_cast<size_t>(frameCount) * stream.Channels());
  stream.Read(samples.data(), frameCount);
  return samples;
}

// Reads `frameCount` frames in pieces of random sizes (0 to maxPiece frames).
inline std::vector<int32_t> ReadInSlices(LSoundStream& stream, int32_t frameCount, uint32_t seed,
                                         int32_t maxPiece = 5000) {
  return ReadInRandomPieces(stream, frameCount, maxPiece, seed);
}

// Frames [from, to) of interleaved samples.
inline std::vector<int32_t> Frames(const std::vector<int32_t>& samples, int channels, int64_t from, int64_t to) {
  return std::vector<int32_t>(samples.begin() + from * channels, samples.begin() + to * channels);
}

// --- Documents ---

// A document over `samples`, all of it selected.
inline LRef<LSoundDocument> Document(int32_t rate, int channels, const std::vector<int32_t>& samples) {
  auto document = MakeRef<LSoundDocument>();
  document->sound = MakeSound(rate, channels, samples);
  document->LengthChanged();
  document->SetSelection(0, document->Length(), 0);
  return document;
}

inline std::vector<int32_t> Audio(const LSoundDocument& document) { return ReadAll(*OpenSegmentStream(document.sound)); }

// Records what a run reports; cancels when asked for the (n+1)-th time (never when n < 0).
class LRecordingProgress final : public LProgress {
 public:
  explicit LRecordingProgress(int cancelAt = -1) : left_(cancelAt) {}
  void SetTitle(const std::string& text) override { title = text; }
  void SetStatusLine(const std::string& text) override { status = text; }
  void SetProgress(int64_t done, int64_t total) override {
    fractions.push_back(static_cast<double>(done) / static_cast<double>(total));
  }
  bool Cancelled() override {
    ++questions;
    return left_ >= 0 && left_-- == 0;
  }

  std::string title;
  std::string status;
  std::vector<double> fractions;
  int questions = 0;

 private:
  int left_;
};

// Sets an environment variable for its lifetime, then restores what was there.
class LScopedEnv {
 public:
  LScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~LScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
  LScopedEnv(const LScopedEnv&) = delete;
  LScopedEnv& operator=(const LScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// --- Measurements ---

// The level of the middle half of every passage of `passageFrames`.
inline std::vector<int> PassageLevels(const std::vector<int32_t>& samples, int channels, int32_t passageFrames) {
  std::vector<int> levels;
  const size_t passage = static_cast<size_t>(passageFrames) * channels;
  for (size_t start = 0; start + passage <= samples.size(); start += passage) {
    levels.push_back(LevelOf(samples.data() + start + passage / 4, passage / 2));
  }
  return levels;
}

// One channel of interleaved samples, frames [from, to).
inline std::vector<double> Channel(const std::vector<int32_t>& samples, int channels, int channel, int64_t from,
                                   int64_t to) {
  std::vector<double> out;
  for (int64_t f = from; f < to; ++f) out.push_back(samples[static_cast<size_t>(f) * channels + channel]);
  return out;
}

// The amplitude of the component at `freq` (Hann-windowed correlation).
inline double Amplitude(const std::vector<double>& x, double rate, double freq) {
  std::complex<double> sum = 0.0;
  double weights = 0.0;
  const size_t n = x.size();
  for (size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n));
    weights += w;
    sum += w * x[i] * std::polar(1.0, -2.0 * kPi * freq * static_cast<double>(i) / rate);
  }
  return 2.0 * std::abs(sum) / weights;
}

// The frequency between lo and hi (in steps of `step`) where the component is strongest.
inline double StrongestFrequency(const std::vector<double>& x, double rate, double lo, double hi, double step) {
  double best = -1.0;
  double at = lo;
  for (double f = lo; f <= hi; f += step) {
    const double a = Amplitude(x, rate, f);
    if (a > best) {
      best = a;
      at = f;
    }
  }
  return at;
}

inline double Db(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace klangor::test
