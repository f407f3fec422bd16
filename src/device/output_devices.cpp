#include "device/output_devices.h"

#include <cstdlib>

#include "device/alsa_output.h"
#include "device/queued_wave_out.h"

namespace klangor {
namespace {

bool FormatUsable(const LDeviceFormat& format, std::string* error) {
  if (format.sampleRate > 0 && format.channels > 0 && format.channels <= 255) return true;
  *error = "the output cannot play " + std::to_string(format.sampleRate) + " Hz with " +
           std::to_string(format.channels) + " channels";
  return false;
}

std::string NoDevice(int number) { return "there is no output device " + std::to_string(number); }

}  // namespace

std::optional<LVirtualOutputOptions> ParseSoundOut(const std::string& value) {
  LVirtualOutputOptions options;
  std::string kind = value;
  const size_t colon = value.find(':');
  if (colon != std::string::npos) {
    kind = value.substr(0, colon);
    options.capturePath = value.substr(colon + 1);
  }
  if (kind == "virtual") {
    options.pacing = LPacing::kRealTime;
  } else if (kind == "virtual-fast") {
    options.pacing = LPacing::kAsFastAsPossible;
  } else {
    return std::nullopt;
  }
  return options;
}

std::unique_ptr<LWaveOut> OpenVirtualDevice(const LVirtualOutputOptions& options, const LDeviceFormat& format,
                                            LEvent& done, std::string* error) {
  if (!FormatUsable(format, error)) return nullptr;
  std::unique_ptr<LOutputBackend> backend = MakeVirtualBackend(format, options, error);
  if (!backend) return nullptr;
  return std::make_unique<LQueuedWaveOut>(format, std::move(backend), done);
}

LSystemOutputDevices::LSystemOutputDevices() {
  if (const char* value = std::getenv(kSoundOutVariable); value != nullptr && *value != '\0') {
    override_ = ParseSoundOut(value);
  }
}

std::vector<std::string> LSystemOutputDevices::Names() {
  if (override_) return {kVirtualDeviceName};
  std::vector<std::string> names{kDefaultDeviceName};
  for (const LAlsaPcmInfo& pcm : ListAlsaPlaybackPcms()) {
    names.push_back(pcm.description.empty() ? pcm.name : pcm.description + " (" + pcm.name + ")");
  }
  names.push_back(kVirtualDeviceName);
  return names;
}

std::unique_ptr<LWaveOut> LSystemOutputDevices::Open(int number, const LDeviceFormat& format, LEvent& done,
                                                     std::string* error) {
  if (override_) return OpenVirtualDevice(*override_, format, done, error);
  if (number < 0) {
    *error = NoDevice(number);
    return nullptr;
  }
  if (!FormatUsable(format, error)) return nullptr;
  std::string pcmName = "default";
  if (number > 0) {
    const std::vector<LAlsaPcmInfo> pcms = ListAlsaPlaybackPcms();
    if (static_cast<size_t>(number) == pcms.size() + 1) return OpenVirtualDevice({}, format, done, error);
    if (static_cast<size_t>(number) > pcms.size()) {
      *error = NoDevice(number);
      return nullptr;
    }
    pcmName = pcms[static_cast<size_t>(number) - 1].name;
  }
  std::unique_ptr<LOutputBackend> backend = MakeAlsaBackend(pcmName, format, error);
  if (!backend) return nullptr;
  return std::make_unique<LQueuedWaveOut>(format, std::move(backend), done);
}

std::vector<std::string> LVirtualOutputDevices::Names() {
  return std::vector<std::string>(static_cast<size_t>(count_), kVirtualDeviceName);
}

std::unique_ptr<LWaveOut> LVirtualOutputDevices::Open(int number, const LDeviceFormat& format, LEvent& done,
                                                      std::string* error) {
  if (number < 0 || number >= count_) {
    *error = NoDevice(number);
    return nullptr;
  }
  std::unique_ptr<LWaveOut> device = OpenVirtualDevice(options_, format, done, error);
  if (device) ++opened_;
  return device;
}

}  // namespace klangor
