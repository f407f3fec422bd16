#include "device/mixer.h"

#include <algorithm>

#include "device/volume.h"

namespace klangor {
namespace {

// Sets control `index` of `line` to `value` when it is of `kind`.
void SetIf(LMixer& mixer, const LMixerLine& line, size_t index, LControlKind kind, uint32_t value) {
  LMixerControl control = line.controls[index];
  if (control.kind != kind) return;
  control.value = value;
  mixer.SetControl(line.id, index, control);
}

// Volume controls to `level`, mute controls off, and (with `switchOn`) on/off controls on.
void SetLevelAndUnmute(LMixer& mixer, const LMixerLine& line, uint32_t level, bool switchOn) {
  for (size_t i = 0; i < line.controls.size(); ++i) {
    SetIf(mixer, line, i, LControlKind::kVolume, level);
    SetIf(mixer, line, i, LControlKind::kMute, 0);
    if (switchOn) SetIf(mixer, line, i, LControlKind::kOnOff, 1);
  }
}

std::optional<LMixerDestination> WaveIn(const LMixerOpener& open, int device, std::unique_ptr<LMixer>* mixer) {
  if (device < 0 || !open) return std::nullopt;
  *mixer = open(device, true);
  if (!*mixer) return std::nullopt;
  return (*mixer)->Destination(LDestinationKind::kWaveIn);
}

}  // namespace

int MixerInputCount(const LMixerOpener& open, int device) {
  std::unique_ptr<LMixer> mixer;
  const std::optional<LMixerDestination> destination = WaveIn(open, device, &mixer);
  if (!destination) return 0;
  return std::min(static_cast<int>(destination->sources.size()), kMaxInputs);
}

std::string MixerInputName(const LMixerOpener& open, int device, int index) {
  if (index == -1) return kSystemInputName;
  std::unique_ptr<LMixer> mixer;
  const std::optional<LMixerDestination> destination = WaveIn(open, device, &mixer);
  if (!destination || index < 0 || index >= std::min(static_cast<int>(destination->sources.size()), kMaxInputs)) {
    return {};
  }
  return destination->sources[static_cast<size_t>(index)].name;
}

void SelectMixerInput(const LMixerOpener& open, int device, int index, int levelDb) {
  if (index < 0) return;
  std::unique_ptr<LMixer> mixer;
  const std::optional<LMixerDestination> destination = WaveIn(open, device, &mixer);
  if (!destination) return;
  const uint32_t level = DbToLevel(levelDb);
  const LMixerLine& line = destination->line;
  const bool haveChosen = static_cast<size_t>(index) < destination->sources.size();
  const int chosenId = haveChosen ? destination->sources[static_cast<size_t>(index)].id : -1;
  for (size_t i = 0; i < line.controls.size(); ++i) {
    LMixerControl control = line.controls[i];
    switch (control.kind) {
      case LControlKind::kVolume: control.value = level; break;
      case LControlKind::kMute: control.value = 0; break;
      case LControlKind::kOnOff: control.value = 1; break;
      case LControlKind::kMixer: std::fill(control.items.begin(), control.items.end(), 1u); break;
      case LControlKind::kMux:
        for (size_t item = 0; item < control.items.size(); ++item) {
          const bool chosen = control.itemLines.size() == control.items.size()
                                  ? control.itemLines[item] == chosenId && haveChosen
                                  : item == static_cast<size_t>(index);
          control.items[item] = chosen ? 1 : 0;
        }
        break;
    }
    if (!mixer->SetControl(line.id, i, control)) return;
  }
  for (size_t s = 0; s < destination->sources.size(); ++s) {
    const LMixerLine& source = destination->sources[s];
    const bool chosen = s == static_cast<size_t>(index);
    for (size_t i = 0; i < source.controls.size(); ++i) {
      SetIf(*mixer, source, i, LControlKind::kVolume, chosen ? level : 0);
      SetIf(*mixer, source, i, LControlKind::kMute, chosen ? 0 : 1);
    }
  }
}

void SetPlaybackLevel(const LMixerOpener& open, int device, int levelDb, int extraDb,
                      const std::function<void(uint16_t)>& setWaveVolume) {
  if (device < 0) {
    if (setWaveVolume) setWaveVolume(DbToLevel(levelDb));
    return;
  }
  if (!open) return;
  std::unique_ptr<LMixer> mixer = open(device, false);
  if (!mixer) return;
  const std::optional<LMixerDestination> speakers = mixer->Destination(LDestinationKind::kSpeakers);
  if (!speakers) return;
  SetLevelAndUnmute(*mixer, speakers->line, DbToLevel(levelDb), false);
  const uint32_t waveLevel = DbToLevel(std::min(levelDb + extraDb, 127));
  for (const LMixerLine& source : speakers->sources) {
    if (source.waveOut) SetLevelAndUnmute(*mixer, source, waveLevel, true);
  }
}

}  // namespace klangor
