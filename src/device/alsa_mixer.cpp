#include "device/alsa_mixer.h"

#include <alsa/asoundlib.h>

#include <map>

#include "device/alsa_output.h"

namespace klangor {
namespace {

enum class LBinding { kPlaybackVolume, kPlaybackMute, kCaptureVolume, kCaptureOnOff, kCaptureMute, kEnum };

constexpr int kSpeakersLine = 1;
constexpr int kWaveOutLine = 2;
constexpr int kWaveInLine = 10;
constexpr int kFirstInputLine = 100;

uint32_t ToLevel(long value, long low, long high) {
  if (high <= low) return 0;
  return static_cast<uint32_t>((value - low) * 65535 / (high - low));
}
long FromLevel(uint32_t level, long low, long high) { return low + static_cast<long>(level) * (high - low) / 65535; }

LMixerControl Control(LControlKind kind, uint32_t value = 0) {
  LMixerControl control;
  control.kind = kind;
  control.value = value;
  return control;
}

class LAlsaMixer final : public LMixer {
 public:
  explicit LAlsaMixer(snd_mixer_t* mixer) : mixer_(mixer) {
    for (snd_mixer_elem_t* elem = snd_mixer_first_elem(mixer_); elem != nullptr; elem = snd_mixer_elem_next(elem)) {
      if (!snd_mixer_selem_is_active(elem)) continue;
      elements_.emplace_back(snd_mixer_selem_get_name(elem), elem);
    }
  }
  ~LAlsaMixer() override { snd_mixer_close(mixer_); }

  std::optional<LMixerDestination> Destination(LDestinationKind kind) override {
    bindings_.clear();
    LMixerDestination destination;
    if (kind == LDestinationKind::kSpeakers) {
      destination.line = Line(kSpeakersLine, "Master", Find("Master"), false);
      if (snd_mixer_elem_t* pcm = Find("PCM")) {
        destination.sources.push_back(Line(kWaveOutLine, "PCM", pcm, false));
        destination.sources.back().waveOut = true;
      }
      return destination;
    }
    destination.line = Line(kWaveInLine, "Capture", Find("Capture"), true);
    snd_mixer_elem_t* selector = nullptr;
    for (const auto& [name, elem] : elements_) {
      if (snd_mixer_selem_is_enum_capture(elem)) selector = elem;
    }
    if (selector != nullptr) {
      LMixerControl mux = Control(LControlKind::kMux);
      const int items = snd_mixer_selem_get_enum_items(selector);
      unsigned current = 0;
      snd_mixer_selem_get_enum_item(selector, SND_MIXER_SCHN_FRONT_LEFT, &current);
      for (int i = 0; i < items; ++i) {
        char name[128] = {};
        snd_mixer_selem_get_enum_item_name(selector, static_cast<unsigned>(i), sizeof name - 1, name);
        mux.items.push_back(static_cast<unsigned>(i) == current ? 1 : 0);
        mux.itemLines.push_back(kFirstInputLine + i);
        destination.sources.push_back(Line(kFirstInputLine + i, name, Find(name), true));
      }
      Bind(destination.line, mux, selector, LBinding::kEnum);
    } else {
      int next = kFirstInputLine;
      for (const auto& [name, elem] : elements_) {
        if (name == "Capture" || snd_mixer_selem_is_enumerated(elem)) continue;
        if (!snd_mixer_selem_has_capture_volume(elem) && !snd_mixer_selem_has_capture_switch(elem)) continue;
        destination.sources.push_back(Line(next++, name, elem, true));
      }
    }
    return destination;
  }

  bool SetControl(int lineId, size_t index, const LMixerControl& control) override {
    auto found = bindings_.find({lineId, index});
    if (found == bindings_.end()) return false;
    snd_mixer_elem_t* elem = found->second.first;
    long low = 0;
    long high = 0;
    switch (found->second.second) {
      case LBinding::kPlaybackVolume:
        snd_mixer_selem_get_playback_volume_range(elem, &low, &high);
        return snd_mixer_selem_set_playback_volume_all(elem, FromLevel(control.value, low, high)) == 0;
      case LBinding::kPlaybackMute:
        return snd_mixer_selem_set_playback_switch_all(elem, control.value != 0 ? 0 : 1) == 0;
      case LBinding::kCaptureVolume:
        snd_mixer_selem_get_capture_volume_range(elem, &low, &high);
        return snd_mixer_selem_set_capture_volume_all(elem, FromLevel(control.value, low, high)) == 0;
      case LBinding::kCaptureOnOff:
        return snd_mixer_selem_set_capture_switch_all(elem, control.value != 0 ? 1 : 0) == 0;
      case LBinding::kCaptureMute:
        return snd_mixer_selem_set_capture_switch_all(elem, control.value != 0 ? 0 : 1) == 0;
      case LBinding::kEnum:
        for (size_t item = 0; item < control.items.size(); ++item) {
          if (control.items[item] != 0) {
            return snd_mixer_selem_set_enum_item(elem, SND_MIXER_SCHN_FRONT_LEFT, static_cast<unsigned>(item)) == 0;
          }
        }
        return true;
    }
    return false;
  }

 private:
  snd_mixer_elem_t* Find(const std::string& name) const {
    for (const auto& [elemName, elem] : elements_) {
      if (elemName == name) return elem;
    }
    return nullptr;
  }

  void Bind(LMixerLine& line, LMixerControl control, snd_mixer_elem_t* elem, LBinding binding) {
    bindings_[{line.id, line.controls.size()}] = {elem, binding};
    line.controls.push_back(std::move(control));
  }

  // A line over `elem` (none: a line without controls). Capture source lines get a mute
  // control from their capture switch; the recording destination an on/off control.
  LMixerLine Line(int id, const std::string& name, snd_mixer_elem_t* elem, bool capture) {
    LMixerLine line;
    line.id = id;
    line.name = name;
    if (elem == nullptr) return line;
    long low = 0;
    long high = 0;
    long value = 0;
    int on = 0;
    if (!capture) {
      if (snd_mixer_selem_has_playback_volume(elem)) {
        snd_mixer_selem_get_playback_volume_range(elem, &low, &high);
        snd_mixer_selem_get_playback_volume(elem, SND_MIXER_SCHN_FRONT_LEFT, &value);
        Bind(line, Control(LControlKind::kVolume, ToLevel(value, low, high)), elem, LBinding::kPlaybackVolume);
      }
      if (snd_mixer_selem_has_playback_switch(elem)) {
        snd_mixer_selem_get_playback_switch(elem, SND_MIXER_SCHN_FRONT_LEFT, &on);
        Bind(line, Control(LControlKind::kMute, on != 0 ? 0u : 1u), elem, LBinding::kPlaybackMute);
      }
      return line;
    }
    if (snd_mixer_selem_has_capture_volume(elem)) {
      snd_mixer_selem_get_capture_volume_range(elem, &low, &high);
      snd_mixer_selem_get_capture_volume(elem, SND_MIXER_SCHN_FRONT_LEFT, &value);
      Bind(line, Control(LControlKind::kVolume, ToLevel(value, low, high)), elem, LBinding::kCaptureVolume);
    }
    if (snd_mixer_selem_has_capture_switch(elem)) {
      snd_mixer_selem_get_capture_switch(elem, SND_MIXER_SCHN_FRONT_LEFT, &on);
      if (id == kWaveInLine) {
        Bind(line, Control(LControlKind::kOnOff, on != 0 ? 1u : 0u), elem, LBinding::kCaptureOnOff);
      } else {
        Bind(line, Control(LControlKind::kMute, on != 0 ? 0u : 1u), elem, LBinding::kCaptureMute);
      }
    }
    return line;
  }

  snd_mixer_t* mixer_;
  std::vector<std::pair<std::string, snd_mixer_elem_t*>> elements_;
  std::map<std::pair<int, size_t>, std::pair<snd_mixer_elem_t*, LBinding>> bindings_;
};

// "hw:NAME" for a PCM name that carries "CARD=NAME", else "default".
std::string CardOf(const std::string& pcmName) {
  const size_t card = pcmName.find("CARD=");
  if (card == std::string::npos) return "default";
  const size_t end = pcmName.find(',', card);
  return "hw:" + pcmName.substr(card + 5, end == std::string::npos ? std::string::npos : end - card - 5);
}

}  // namespace

std::unique_ptr<LMixer> OpenAlsaMixer(const std::string& card) {
  SilenceAlsaMessages();
  snd_mixer_t* mixer = nullptr;
  if (snd_mixer_open(&mixer, 0) < 0) return nullptr;
  if (snd_mixer_attach(mixer, card.c_str()) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 ||
      snd_mixer_load(mixer) < 0) {
    snd_mixer_close(mixer);
    return nullptr;
  }
  return std::make_unique<LAlsaMixer>(mixer);
}

LMixerOpener AlsaMixerOpener() {
  return [](int device, bool input) -> std::unique_ptr<LMixer> {
    if (device < 0) return nullptr;
    std::string card = "default";
    if (device > 0) {
      const std::vector<LAlsaPcmInfo> pcms = input ? ListAlsaCapturePcms() : ListAlsaPlaybackPcms();
      if (static_cast<size_t>(device) > pcms.size()) return nullptr;
      card = CardOf(pcms[static_cast<size_t>(device) - 1].name);
    }
    return OpenAlsaMixer(card);
  };
}

}  // namespace klangor
