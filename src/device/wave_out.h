#pragma once
// An output device with the queued-buffer semantics the player relies on.
//
// The caller owns the buffers (LWaveHeader) and queues them with Write; the device plays
// them in order and, when a buffer has been played out, sets its kDone flag and then the
// done event that was given at opening. A buffer marked kBeginLoop and kEndLoop is played
// `loops` times in a row (the scrub snippet). Reset stops playback at once, marks every
// queued buffer done and returns only when the device no longer touches any of them, so
// the caller may then refill or free them. Destroying the device resets it first.
//
// Threads: Write, Reset and SetVolume may be called from any thread, one call at a time per
// device; flags of a queued buffer are written by the device and read by the caller.
// Samples are 16-bit signed, interleaved, native byte order.

#include <atomic>
#include <cstdint>
#include <string>

namespace klangor {

// The sample format a sound device is opened with: always 16-bit interleaved PCM.
struct LDeviceFormat {
  int32_t sampleRate = 44100;
  int channels = 2;
  int BlockAlign() const { return 2 * channels; }  // bytes per frame
};

struct LWaveHeader {
  static constexpr uint32_t kDone = 1;
  static constexpr uint32_t kBeginLoop = 4;
  static constexpr uint32_t kEndLoop = 8;
  static constexpr uint32_t kInQueue = 16;

  int16_t* data = nullptr;
  uint32_t bytes = 0;       // bytes to play, a whole number of frames
  int32_t user = 0;         // the caller's value (the player keeps a source position here)
  std::atomic<uint32_t> flags{0};
  uint32_t loops = 0;       // plays of a looping buffer

  bool Done() const { return (flags.load(std::memory_order_acquire) & kDone) != 0; }
};

// Full volume: samples pass unchanged.
inline constexpr uint16_t kFullVolume = 65535;

class LWaveOut {
 public:
  virtual ~LWaveOut() = default;
  virtual const LDeviceFormat& Format() const = 0;
  // Queues `header` (flags other than the loop flags are cleared). The header and its data
  // must stay valid until it is done.
  virtual void Write(LWaveHeader& header) = 0;
  virtual void Reset() = 0;
  // Volume of both channels, 0 (silent) .. 65535 (unchanged).
  virtual void SetVolume(uint16_t volume) = 0;
  virtual uint16_t Volume() const = 0;
  // Times the device ran dry before the audio that followed had come (gaps in the output;
  // running dry after the last buffer is no underrun).
  virtual int64_t Underruns() const = 0;
  // Frames played since the device was opened (resets do not start it again).
  virtual int64_t FramesPlayed() const = 0;
  // True once the device stopped working (unplugged, killed server); queued buffers are then
  // marked done, and so is every later one.
  virtual bool Failed() const = 0;
  // The device's name as the device list shows it.
  virtual std::string Name() const = 0;
};

}  // namespace klangor
