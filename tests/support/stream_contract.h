#pragma once
// The stream contract as one parameterised suite (StreamContractTest), run over every stream
// type: each test folder instantiates it with the streams of its subsystem, e.g.
//   INSTANTIATE_TEST_SUITE_P(Effects, StreamContractTest, ::testing::ValuesIn(Cases()), StreamCaseName);
// For every case:
// - a fresh stream read at once and fresh streams read in pieces of random sizes agree;
// - Read advances the position by exactly the frames read, Seek moves it to the frame sought
//   (before the start and past the end included);
// - after a seek, the frames read do not depend on what was read before.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "audio/sound_stream.h"

namespace klangor::test {

struct LStreamCase {
  std::string name;                            // letters, digits and underscores
  std::function<LRef<LSoundStream>()> make;    // a new stream at position 0
  int32_t frames = 20000;                      // how far the checks read
  // Set for a stream whose seek keeps state by design (why), which skips the seek check.
  const char* seekKeepsState = nullptr;
};

inline void PrintTo(const LStreamCase& c, std::ostream* out) { *out << c.name; }

class StreamContractTest : public ::testing::TestWithParam<LStreamCase> {};

std::string StreamCaseName(const ::testing::TestParamInfo<LStreamCase>& info);

}  // namespace klangor::test
