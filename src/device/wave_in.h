#pragma once
// An input device: delivers 16-bit interleaved frames (native byte order) of its format as
// they arrive.
//
// The device keeps what arrived and was not read yet in a buffer of its own (a few seconds);
// when the reader falls that far behind, the frames that do not fit are lost, and that is
// counted (Overruns, LostFrames), never hidden. Capturing begins with Start.
//
// Threads: one reader thread calls Start and Read; the counters and Failed may be read from
// any thread.

#include <cstdint>
#include <string>

#include "device/wave_out.h"

namespace klangor {

class LWaveIn {
 public:
  virtual ~LWaveIn() = default;
  virtual const LDeviceFormat& Format() const = 0;
  virtual void Start() = 0;
  // Reads up to `frames` frames into `samples`, waiting up to `timeoutMs` for the first ones
  // (0: only what is there). The frames read; 0 when none came in time; -1 when the device
  // failed or its input ended (Failed and Ended tell which).
  virtual int32_t Read(int16_t* samples, int32_t frames, int timeoutMs) = 0;
  // Times frames were lost because they were not read in time, and how many were lost.
  virtual int64_t Overruns() const = 0;
  virtual int64_t LostFrames() const = 0;
  // The device stopped working (unplugged, server killed).
  virtual bool Failed() const = 0;
  // The input has nothing more to give (the virtual input played its file to the end).
  virtual bool Ended() const = 0;
  // Whether the audio may carry a DC offset for the recorder to remove (sound cards do; the
  // virtual input plays its sound exactly).
  virtual bool CarriesDcOffset() const { return true; }
  // The device's name as the device list shows it.
  virtual std::string Name() const = 0;
};

}  // namespace klangor
