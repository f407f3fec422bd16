#include "device/input_devices.h"

#include <cstdlib>

#include "device/alsa_input.h"
#include "device/alsa_output.h"

namespace klangor {
namespace {

std::string NoDevice(int number) { return "there is no input device " + std::to_string(number); }

}  // namespace

std::optional<LVirtualInputOptions> ParseSoundIn(const std::string& value, const LSoundFileOpener& open) {
  LVirtualInputOptions options;
  std::string kind = value;
  const size_t colon = value.find(':');
  if (colon != std::string::npos) {
    kind = value.substr(0, colon);
    const std::string path = value.substr(colon + 1);
    if (!path.empty()) options.source = [open, path] { return open(path); };
  }
  if (kind == "virtual") {
    options.pacing = LPacing::kRealTime;
  } else if (kind == "virtual-fast" && options.source) {
    options.pacing = LPacing::kAsFastAsPossible;
  } else {
    return std::nullopt;
  }
  return options;
}

LSystemInputDevices::LSystemInputDevices(const LSoundFileOpener& open) {
  if (const char* value = std::getenv(kSoundInVariable); value != nullptr && *value != '\0') {
    override_ = ParseSoundIn(value, open);
  }
}

std::vector<std::string> LSystemInputDevices::Names() {
  if (override_) return {kVirtualInputName};
  std::vector<std::string> names{kDefaultInputName};
  for (const LAlsaPcmInfo& pcm : ListAlsaCapturePcms()) {
    names.push_back(pcm.description.empty() ? pcm.name : pcm.description + " (" + pcm.name + ")");
  }
  names.push_back(kVirtualInputName);
  return names;
}

std::unique_ptr<LWaveIn> LSystemInputDevices::Open(int number, const LDeviceFormat& format, std::string* error) {
  if (override_) return OpenVirtualInput(*override_, format, error);
  if (number < 0) {
    *error = NoDevice(number);
    return nullptr;
  }
  std::string pcmName = "default";
  if (number > 0) {
    const std::vector<LAlsaPcmInfo> pcms = ListAlsaCapturePcms();
    if (static_cast<size_t>(number) == pcms.size() + 1) return OpenVirtualInput({}, format, error);
    if (static_cast<size_t>(number) > pcms.size()) {
      *error = NoDevice(number);
      return nullptr;
    }
    pcmName = pcms[static_cast<size_t>(number) - 1].name;
  }
  if (format.sampleRate <= 0 || format.channels <= 0 || format.channels > 255) {
    return OpenVirtualInput({}, format, error);  // refuses the format with its message
  }
  return OpenAlsaInput(pcmName, format, error);
}

std::unique_ptr<LWaveIn> LVirtualInputDevices::Open(int number, const LDeviceFormat& format, std::string* error) {
  if (number != 0) {
    *error = NoDevice(number);
    return nullptr;
  }
  return OpenVirtualInput(options_, format, error);
}

}  // namespace klangor
