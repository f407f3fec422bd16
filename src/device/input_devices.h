#pragma once
// The input devices by number, as the setting "Device" of the recorder counts them: 0 is the
// system's default input (shown as "[Sound In]"), n the n-th device of the list.
//
// The system list is ALSA's: 0 is the capture PCM "default" (PipeWire or PulseAudio serve it
// on a desktop), 1..n the PCMs that ALSA lists for capture, in its order, and after them the
// virtual input (silence in real time). The environment variable KLANGOR_SOUND_IN replaces
// every device by the virtual one:
//   virtual             silence, in real time
//   virtual:IN.wav      IN.wav, in real time
//   virtual-fast:IN.wav IN.wav as fast as the recorder takes it

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/virtual_input.h"
#include "device/wave_in.h"

namespace klangor {

inline constexpr char kSoundInVariable[] = "KLANGOR_SOUND_IN";
inline constexpr char kDefaultInputName[] = "[Sound In]";

class LInputDevices {
 public:
  virtual ~LInputDevices() = default;
  // The names of devices 0, 1, ... as a settings dialog lists them.
  virtual std::vector<std::string> Names() = 0;
  // Opens device `number` for `format`. Nothing, with `error` set, when there is no such
  // device or it cannot record the format.
  virtual std::unique_ptr<LWaveIn> Open(int number, const LDeviceFormat& format, std::string* error) = 0;
};

// Opens a sound file as a stream (the virtual input's file; the device layer reads no files).
using LSoundFileOpener = std::function<LRef<LSoundStream>(const std::string& path)>;

// The virtual input that a KLANGOR_SOUND_IN value describes; nothing when it names none.
std::optional<LVirtualInputOptions> ParseSoundIn(const std::string& value, const LSoundFileOpener& open);

// ALSA's capture devices and the virtual input, or only the virtual one when KLANGOR_SOUND_IN
// (read at construction) says so.
class LSystemInputDevices final : public LInputDevices {
 public:
  explicit LSystemInputDevices(const LSoundFileOpener& open);
  std::vector<std::string> Names() override;
  std::unique_ptr<LWaveIn> Open(int number, const LDeviceFormat& format, std::string* error) override;

 private:
  std::optional<LVirtualInputOptions> override_;
};

// Only the virtual input, with the given options, as device 0 (tests, --input-file).
class LVirtualInputDevices final : public LInputDevices {
 public:
  explicit LVirtualInputDevices(LVirtualInputOptions options) : options_(std::move(options)) {}
  std::vector<std::string> Names() override { return {kVirtualInputName}; }
  std::unique_ptr<LWaveIn> Open(int number, const LDeviceFormat& format, std::string* error) override;
  LVirtualInputOptions& Options() { return options_; }

 private:
  LVirtualInputOptions options_;
};

}  // namespace klangor
