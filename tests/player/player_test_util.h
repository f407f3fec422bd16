#pragma once
// Shared pieces of the player tests: a listener that writes down its calls, the capture
// file's samples, and the 16-bit image of a stream as the player must produce it.

#include <string>
#include <vector>

#include "audio/sound_stream.h"
#include "dsp/limiter.h"
#include "player/player_listener.h"
#include "support/test_env.h"

namespace klangor::test {

struct LRecordingListener final : LPlayerListener {
  struct LCall {
    std::string what;  // "Started", "Stopped", "Cue", "Position", "Levels"
    int64_t ms = 0;
    int32_t frame = 0;
    LLevelRecord levels;
  };
  void Started(uint32_t) override { Add("Started"); }
  void Stopped(uint32_t) override { Add("Stopped"); }
  void CueOrScrubStarted(uint32_t) override { Add("Cue"); }
  void Position(int64_t ms, int32_t frame, uint32_t) override { Add("Position", ms, frame); }
  void Levels(const LLevelRecord& levels, uint32_t) override { Add("Levels", 0, 0, levels); }
  void Add(const char* what, int64_t ms = 0, int32_t frame = 0, const LLevelRecord& levels = {}) {
    LCall call;
    call.what = what;
    call.ms = ms;
    call.frame = frame;
    call.levels = levels;
    calls.push_back(call);
  }

  std::vector<std::string> Kinds() const {
    std::vector<std::string> kinds;
    for (const LCall& call : calls) {
      if (kinds.empty() || kinds.back() != call.what) kinds.push_back(call.what);
    }
    return kinds;
  }
  std::vector<LCall> calls;
};

// The samples of a capture file (16-bit PCM after a 44-byte header).
inline std::vector<int16_t> CaptureSamples(const std::string& path) {
  const std::string bytes = ReadBytes(path);
  std::vector<int16_t> samples;
  for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
    samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8));
  }
  return samples;
}

// `frames` frames of `stream` from its position, through the limiter, as 16-bit samples.
inline std::vector<int16_t> Expected16(LRef<LSoundStream> stream, int32_t frames) {
  LRef<LSoundStream> limited = MakeLimiter(std::move(stream), 524272);
  std::vector<int32_t> samples(static_cast<size_t>(frames) * static_cast<size_t>(limited->Channels()));
  limited->Read(samples.data(), frames);
  std::vector<int16_t> out(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) out[i] = static_cast<int16_t>((samples[i] + 8) >> 4);
  return out;
}

}  // namespace klangor::test
