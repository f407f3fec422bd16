#include "device/memory_mixer.h"

namespace klangor {

std::optional<LMixerDestination> LMemoryMixer::Destination(LDestinationKind kind) {
  auto found = destinations.find(kind);
  if (found == destinations.end()) return std::nullopt;
  return found->second;
}

bool LMemoryMixer::SetControl(int lineId, size_t index, const LMixerControl& control) {
  if (failAfterSets >= 0 && sets >= failAfterSets) return false;
  for (auto& [kind, destination] : destinations) {
    auto set = [&](LMixerLine& line) {
      if (line.id != lineId || index >= line.controls.size()) return false;
      line.controls[index].value = control.value;
      line.controls[index].items = control.items;
      return true;
    };
    bool done = set(destination.line);
    for (LMixerLine& source : destination.sources) done = set(source) || done;
    if (done) {
      ++sets;
      return true;
    }
  }
  return false;
}

}  // namespace klangor
