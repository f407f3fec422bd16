#pragma once
// What the player reports, always on the user-interface thread, each call with the context
// value the owner gave when it installed the listener. The default operations do nothing.

#include <array>
#include <cstdint>

namespace klangor {

// Levels in dB per channel (-127 for silence), as measured over one played buffer.
struct LLevelRecord {
  uint8_t channels = 0;
  std::array<int8_t, 256> levels{};
};

class LPlayerListener {
 public:
  virtual ~LPlayerListener() = default;
  // Playback (or normal play after scrubbing) has begun.
  virtual void Started(uint32_t /*context*/) {}
  // The device was closed.
  virtual void Stopped(uint32_t /*context*/) {}
  virtual void CueOrScrubStarted(uint32_t /*context*/) {}
  // The played position in milliseconds of the source, and the same in frames.
  virtual void Position(int64_t /*ms*/, int32_t /*frame*/, uint32_t /*context*/) {}
  virtual void Levels(const LLevelRecord& /*levels*/, uint32_t /*context*/) {}
};

}  // namespace klangor
