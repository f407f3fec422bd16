#pragma once
// The virtual output device: plays into nothing, paced by a clock (real time, or as fast as
// the player can feed it), and can capture every frame it plays into a WAV file. Used on
// machines without a sound card and by tests; with a failure point it stands for a device
// that disappears while playing.

#include <cstdint>
#include <memory>
#include <string>

#include "device/output_backend.h"
#include "device/wave_out.h"

namespace klangor {

enum class LPacing { kRealTime, kAsFastAsPossible };

struct LVirtualOutputOptions {
  LPacing pacing = LPacing::kRealTime;
  std::string capturePath;        // empty: nothing is captured
  int64_t failAfterFrames = -1;   // >= 0: the device fails after playing this many frames
  int64_t captureLimitFrames = -1;  // >= 0: the capture file ends after this many frames
};

inline constexpr char kVirtualDeviceName[] = "Virtuelles Ausgabegerät";

// Nothing (and `error` set) when the capture file cannot be created.
std::unique_ptr<LOutputBackend> MakeVirtualBackend(const LDeviceFormat& format, const LVirtualOutputOptions& options,
                                                   std::string* error);

}  // namespace klangor
