#pragma once
// A mixer held in memory: its destinations are plain records that SetControl changes, so
// tests set one up and look at what the mixer operations did to it.

#include <map>

#include "device/mixer.h"

namespace klangor {

class LMemoryMixer final : public LMixer {
 public:
  std::optional<LMixerDestination> Destination(LDestinationKind kind) override;
  bool SetControl(int lineId, size_t index, const LMixerControl& control) override;

  std::map<LDestinationKind, LMixerDestination> destinations;
  int failAfterSets = -1;  // >= 0: SetControl fails once this many calls succeeded
  int sets = 0;
};

}  // namespace klangor
