#pragma once
// The output devices by number, as the setting "SoundOutDevice" counts them: 0 is the
// system's default output, n the n-th device of the list.
//
// The system list is ALSA's: 0 is the PCM "default" (PipeWire or PulseAudio serve it on a
// desktop), 1..n the PCMs that ALSA lists for playback, in its order, and after them the
// virtual device (plays in real time into nothing). The environment variable
// KLANGOR_SOUND_OUT replaces every device by the virtual one:
//   virtual             paced in real time
//   virtual-fast        as fast as the player feeds it
//   virtual:FILE.wav    real time, capturing everything played into FILE.wav
//   virtual-fast:FILE.wav
// Each opening of a capturing device starts the file anew.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/virtual_output.h"
#include "device/wave_out.h"
#include "platform/event.h"

namespace klangor {

inline constexpr char kSoundOutVariable[] = "KLANGOR_SOUND_OUT";
inline constexpr char kDefaultDeviceName[] = "Standardausgabe (default)";

class LOutputDevices {
 public:
  virtual ~LOutputDevices() = default;
  // The names of devices 0, 1, ... as a settings dialog lists them.
  virtual std::vector<std::string> Names() = 0;
  // Opens device `number` for `format`; `done` is set whenever a buffer is done. Nothing,
  // with `error` set, when there is no such device or it cannot play the format.
  virtual std::unique_ptr<LWaveOut> Open(int number, const LDeviceFormat& format, LEvent& done,
                                         std::string* error) = 0;
};

// The virtual device described by a KLANGOR_SOUND_OUT value; nothing when it names none.
std::optional<LVirtualOutputOptions> ParseSoundOut(const std::string& value);

// ALSA's devices and the virtual one, or only the virtual one when KLANGOR_SOUND_OUT (read
// at construction) says so.
class LSystemOutputDevices final : public LOutputDevices {
 public:
  LSystemOutputDevices();
  std::vector<std::string> Names() override;
  std::unique_ptr<LWaveOut> Open(int number, const LDeviceFormat& format, LEvent& done, std::string* error) override;

 private:
  std::optional<LVirtualOutputOptions> override_;
};

// Only virtual devices, all with the same options (tests, and playing into a capture file):
// numbers 0..count-1 exist.
class LVirtualOutputDevices final : public LOutputDevices {
 public:
  explicit LVirtualOutputDevices(LVirtualOutputOptions options, int count = 1)
      : options_(std::move(options)), count_(count) {}
  std::vector<std::string> Names() override;
  std::unique_ptr<LWaveOut> Open(int number, const LDeviceFormat& format, LEvent& done, std::string* error) override;
  LVirtualOutputOptions& Options() { return options_; }
  // How many devices were opened so far.
  int Opened() const { return opened_; }

 private:
  LVirtualOutputOptions options_;
  int count_;
  int opened_ = 0;
};

// A device over the virtual backend (nothing when the capture file cannot be created).
std::unique_ptr<LWaveOut> OpenVirtualDevice(const LVirtualOutputOptions& options, const LDeviceFormat& format,
                                            LEvent& done, std::string* error);

}  // namespace klangor
