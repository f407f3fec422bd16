#pragma once
// Helpers for the MP3 tests: test signals written as WAV files, encoded with lame, decoded
// by reference decoders (mpg123, ffmpeg) and by Klangor's stream.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audio/sound_stream.h"
#include "platform/paths.h"
#include "support/test_env.h"

namespace klangor::mp3test {

inline std::string TestPath(const std::string& name) { return JoinPath(test::TempDir(), name); }

inline bool HaveEncoderAndReference() { return test::HaveProgram("lame") && test::HaveProgram("mpg123"); }

// Signals of 16-bit samples, interleaved.
enum class LSignal {
  kMusic,       // tones, a sweep and coloured noise, different in the two channels
  kTransients,  // noise bursts with sharp attacks over a tone: short blocks
};

inline std::vector<int16_t> MakeSignal(LSignal signal, int rate, int channels, double seconds) {
  const auto frames = static_cast<int64_t>(rate * seconds);
  std::vector<int16_t> samples(static_cast<size_t>(frames * channels));
  uint32_t seed = 12345;
  auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(static_cast<int32_t>(seed)) / 2147483648.0;
  };
  double low[2] = {0, 0};
  for (int64_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    for (int c = 0; c < channels; ++c) {
      double v;
      if (signal == LSignal::kMusic) {
        low[c] = 0.9 * low[c] + 0.1 * noise();
        const double sweep = std::sin(2 * M_PI * (200 + 900 * t) * t * (c == 0 ? 1.0 : 1.3));
        v = 0.25 * std::sin(2 * M_PI * (c == 0 ? 440.0 : 554.0) * t) * (1 + 0.5 * std::sin(2 * M_PI * 0.7 * t)) +
            0.15 * sweep + 0.6 * low[c] + 0.05 * noise();
      } else {
        const double since = std::fmod(t, 0.25);
        v = 0.2 * std::sin(2 * M_PI * 220 * t) + 0.7 * std::exp(-since * 60) * noise();
      }
      const double clipped = std::clamp(v, -1.0, 1.0);
      samples[static_cast<size_t>(i * channels + c)] = static_cast<int16_t>(std::lround(clipped * 30000));
    }
  }
  return samples;
}

inline void WriteWav(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels) {
  const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::string bytes = "RIFF" + test::Le32(36 + dataBytes) + "WAVEfmt " + test::Le32(16) + test::Le16(1) +
                      test::Le16(static_cast<uint32_t>(channels)) + test::Le32(static_cast<uint32_t>(rate)) +
                      test::Le32(static_cast<uint32_t>(rate * channels * 2)) +
                      test::Le16(static_cast<uint32_t>(channels * 2)) + test::Le16(16) + "data" + test::Le32(dataBytes);
  const size_t header = bytes.size();
  bytes.resize(header + dataBytes);
  std::memcpy(bytes.data() + header, samples.data(), dataBytes);
  test::WriteBytes(path, bytes);
}

// Encodes a signal with lame and the given options; returns the MP3 file's path.
inline std::string Encode(const std::string& name, LSignal signal, int rate, int channels, double seconds,
                          const std::vector<std::string>& options) {
  const std::string wav = TestPath(name + ".wav");
  const std::string mp3 = TestPath(name + ".mp3");
  WriteWav(wav, MakeSignal(signal, rate, channels, seconds), rate, channels);
  std::vector<std::string> argv = {"lame", "--quiet"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(wav);
  argv.push_back(mp3);
  EXPECT_EQ(test::Run(argv), 0) << name;
  return mp3;
}

inline std::vector<float> FloatsOf(const std::string& raw) {
  std::vector<float> samples(raw.size() / 4);
  std::memcpy(samples.data(), raw.data(), samples.size() * 4);
  return samples;
}

// The reference decodings, as floats of full scale 1, every frame kept (no gapless trimming,
// like Klangor's stream).
inline std::vector<float> DecodeWithMpg123(const std::string& mp3) {
  std::string raw;
  EXPECT_EQ(test::Run({"mpg123", "-q", "--no-gapless", "-e", "f32", "-s", mp3}, &raw), 0);
  return FloatsOf(raw);
}

inline std::vector<float> DecodeWithFfmpeg(const std::string& mp3) {
  std::string raw;
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-flags2", "+skip_manual", "-i", mp3, "-f", "f32le", "-"}, &raw), 0);
  return FloatsOf(raw);
}

// The stream from its position up to its length, reading on while an estimated length is
// re-estimated, and cut to the length it ends with (the reads past it were silence).
inline std::vector<int32_t> ReadToEnd(LSoundStream& stream, int32_t piece = 4096) {
  std::vector<int32_t> samples;
  const int64_t first = stream.Position();
  std::vector<int32_t> buffer(static_cast<size_t>(piece) * stream.Channels());
  for (int guard = 0; guard < 1 << 20 && stream.Position() < stream.Length(); ++guard) {
    const int32_t n = std::min(piece, stream.Length() - stream.Position());
    stream.Read(buffer.data(), n);
    samples.insert(samples.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(n) * stream.Channels());
  }
  const auto kept = static_cast<size_t>(std::max<int64_t>(stream.Length() - first, 0)) * stream.Channels();
  if (samples.size() > kept) samples.resize(kept);
  return samples;
}

// The accuracy measures of MPEG decoder compliance testing, relative to full scale.
struct LAccuracy {
  double rms = 0;
  double max = 0;
};

inline LAccuracy Compare(const std::vector<int32_t>& decoded, const std::vector<float>& reference) {
  LAccuracy accuracy;
  const size_t n = std::min(decoded.size(), reference.size());
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const double d = decoded[i] / 524288.0 - reference[i];
    sum += d * d;
    accuracy.max = std::max(accuracy.max, std::abs(d));
  }
  accuracy.rms = n == 0 ? 0 : std::sqrt(sum / static_cast<double>(n));
  return accuracy;
}

// "Full accuracy": RMS error below 2^-15 / sqrt(12), no sample off by more than 2^-14.
inline const double kFullAccuracyRms = std::ldexp(1.0, -15) / std::sqrt(12.0);
inline const double kFullAccuracyMax = std::ldexp(1.0, -14);

}  // namespace klangor::mp3test
