#pragma once
// Helpers for the tests of the native formats other than WAV: big-endian byte images,
// samples as sox reads them, signal-to-noise ratios, and private settings files.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings_store.h"
#include "audio/sound_stream.h"
#include "platform/paths.h"
#include "support/test_env.h"
#include "wav_test_files.h"

namespace klangor::nativetest {

using wavtest::HaveSox;
using wavtest::ReadFrames;
using wavtest::RunTool;
using wavtest::TestPath;

inline std::string Be16(uint32_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
inline std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }

inline std::vector<int16_t> ToInt16(const std::string& bytes) {
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                      static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  }
  return samples;
}

// The samples of `path` as sox decodes them to 16 bits (`type` forces the input type).
inline std::vector<int16_t> SoxSamples16(const std::string& path, const std::vector<std::string>& type = {}) {
  std::vector<std::string> argv = {"sox", "-V1", "-D"};
  argv.insert(argv.end(), type.begin(), type.end());
  argv.insert(argv.end(), {path, "-t", "s16", "-L", "-"});
  return ToInt16(RunTool(argv));
}

// Signal-to-noise ratio in dB of `got` against `reference` (scaled by `scale`), over the
// first `count` samples from `skip` on.
template <class A, class B>
double SnrDb(const std::vector<A>& reference, const std::vector<B>& got, double scale = 1.0, size_t skip = 0) {
  double signal = 0, noise = 0;
  const size_t n = std::min(reference.size(), got.size());
  for (size_t i = skip; i < n; ++i) {
    const double r = static_cast<double>(reference[i]) * scale;
    signal += r * r;
    noise += (r - static_cast<double>(got[i])) * (r - static_cast<double>(got[i]));
  }
  return 10 * std::log10(signal / std::max(noise, 1e-9));
}

// A speech-like test signal made by sox: two gliding tones and some noise, 16-bit.
inline std::string MakeSoxSignal(const std::string& name, int rate, int channels, double seconds) {
  const std::string path = TestPath(name);
  RunTool({"sox", "-V1", "-D", "-R", "-n", "-b", "16", "-e", "signed-integer", "-c", std::to_string(channels), "-r",
           std::to_string(rate), path, "synth", std::to_string(seconds), "sine", "180-900", "sine", "1500-400",
           "pinknoise", "vol", "0.6"});
  return path;
}

// Points the settings store at files inside the test's folder. Must run before anything in
// the process uses Settings(); fails the test when that is no longer possible.
inline void UsePrivateSettings() {
  static const bool ready = [] {
    const std::string folder = test::TempPath("-settings");
    setenv("XDG_CONFIG_HOME", (folder + "/user").c_str(), 1);
    setenv("KLANGOR_MACHINE_SETTINGS", (folder + "/machine/Klangor.ini").c_str(), 1);
    return Settings().UserFile().rfind(test::TempDir(), 0) == 0 &&
           Settings().MachineFile().rfind(test::TempDir(), 0) == 0;
  }();
  ASSERT_TRUE(ready) << "the settings store was used before the test could redirect it";
}

}  // namespace klangor::nativetest
