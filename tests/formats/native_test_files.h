#pragma once
// Helpers for the tests of the native formats other than WAV: big-endian byte images and a
// test signal made by sox.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio/sound_stream.h"
#include "platform/paths.h"
#include "support/test_env.h"
#include "wav_test_files.h"

namespace klangor::nativetest {

using test::SnrDb;
using test::SoxSamples16;
using wavtest::HaveSox;
using wavtest::ReadFrames;
using wavtest::RunTool;
using wavtest::TestPath;

inline std::string Be16(uint32_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
inline std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }

// A speech-like test signal made by sox: two gliding tones and some noise, 16-bit.
inline std::string MakeSoxSignal(const std::string& name, int rate, int channels, double seconds) {
  const std::string path = TestPath(name);
  RunTool({"sox", "-V1", "-D", "-R", "-n", "-b", "16", "-e", "signed-integer", "-c", std::to_string(channels), "-r",
           std::to_string(rate), path, "synth", std::to_string(seconds), "sine", "180-900", "sine", "1500-400",
           "pinknoise", "vol", "0.6"});
  return path;
}

}  // namespace klangor::nativetest
