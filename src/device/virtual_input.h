#pragma once
// The virtual input device: plays a stream (a WAV file, a generated signal; silence without
// one) as its input, paced by a clock (real time, a multiple of it, or as fast as the reader
// takes it). Used on machines without a sound card and by tests: what the stream holds is
// what the reader gets, frame for frame (16-bit, rounded as files are written).
//
// Paced by the clock, the input keeps at most kVirtualInputBufferMs of unread audio, like a
// sound card's buffer: what the clock brings beyond that is skipped and counted as lost.
// As fast as possible nothing is ever lost. With a failure point it stands for a device that
// disappears while recording.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/sound_stream.h"
#include "device/virtual_output.h"
#include "device/wave_in.h"

namespace klangor {

inline constexpr char kVirtualInputName[] = "Virtuelles Eingabegerät";
inline constexpr int32_t kVirtualInputBufferMs = 3200;

struct LVirtualInputOptions {
  LPacing pacing = LPacing::kRealTime;
  double speed = 1.0;  // real-time pacing: the clock runs this many times as fast
  // Makes the stream the input plays, for each opening; null: silence without end. Its rate
  // and channel count must be the device's.
  std::function<LRef<LSoundStream>()> source;
  int64_t failAfterFrames = -1;  // >= 0: the device fails after delivering this many frames
  bool carriesDcOffset = false;  // stands for a sound card whose audio the recorder filters
};

// Nothing (and `error` set) when the source cannot be opened or does not have `format`.
std::unique_ptr<LWaveIn> OpenVirtualInput(const LVirtualInputOptions& options, const LDeviceFormat& format,
                                          std::string* error);

}  // namespace klangor
