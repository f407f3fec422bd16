#pragma once
// Recording inputs and playback levels on the system mixer, through a small model of it: a
// destination line (the speakers, or the recording input) with its controls, and the
// source lines connected to it with theirs. LAlsaMixer (alsa_mixer.h) maps ALSA's simple
// mixer onto it, LMemoryMixer (memory_mixer.h) keeps it in memory for tests. The four
// operations below work on any of them, and fail silently: a mixer that cannot be opened
// or a control that cannot be set ends the operation without a message.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace klangor {

enum class LControlKind {
  kVolume,  // value 0..65535
  kMute,    // 1 muted
  kOnOff,   // 1 on
  kMux,     // exactly one item on: the input selector
  kMixer,   // any items on
};

struct LMixerControl {
  LControlKind kind = LControlKind::kVolume;
  uint32_t value = 0;
  std::vector<uint32_t> items;  // kMux and kMixer: 1 on, 0 off, per item
  std::vector<int> itemLines;   // kMux: the source line id of each item; empty when unknown
};

struct LMixerLine {
  int id = 0;
  std::string name;
  bool waveOut = false;  // the source line of the player's output (speakers destination)
  std::vector<LMixerControl> controls;
};

struct LMixerDestination {
  LMixerLine line;
  std::vector<LMixerLine> sources;
};

enum class LDestinationKind { kWaveIn, kSpeakers };

class LMixer {
 public:
  virtual ~LMixer() = default;
  virtual std::optional<LMixerDestination> Destination(LDestinationKind kind) = 0;
  // Sets control `index` of line `lineId` to `control`'s value or items; false on failure.
  virtual bool SetControl(int lineId, size_t index, const LMixerControl& control) = 0;
};

// The mixer of a wave-in (`input`) or wave-out device number; nothing when it has none.
using LMixerOpener = std::function<std::unique_ptr<LMixer>(int device, bool input)>;

inline constexpr int kMaxInputs = 127;
// The name of input -1, the system's own choice of input.
inline constexpr char kSystemInputName[] = "ALSA Record Mixer";

// Source lines of the device's recording input (at most 127); 0 for a negative device or no
// mixer.
int MixerInputCount(const LMixerOpener& open, int device);
// The name of input `index`; kSystemInputName for -1; empty on failure.
std::string MixerInputName(const LMixerOpener& open, int device, int index);
// Makes input `index` the recording input at `levelDb`, muting and zeroing the others.
void SelectMixerInput(const LMixerOpener& open, int device, int index, int levelDb);
// The speakers at `levelDb` and the player's output line at `levelDb + extraDb`, both
// unmuted. For a negative device `setWaveVolume` gets the level instead (the player's own
// volume).
void SetPlaybackLevel(const LMixerOpener& open, int device, int levelDb, int extraDb,
                      const std::function<void(uint16_t)>& setWaveVolume);

}  // namespace klangor
