#pragma once
// The record that declares one setting: where it is stored, its default, and whether it
// belongs to the machine-wide group. Every setting is declared once, in app/settings_keys.h;
// callers read and write through the record (LSettingsStore::Read and Write), so no name or
// default is repeated anywhere else.

#include <cstddef>
#include <climits>
#include <cstdint>
#include <string_view>

namespace klangor {

// Values are read into a buffer of 260 bytes: at most 259 characters of a stored text count.
inline constexpr size_t kMaxValueCharacters = 259;

enum class LSettingScope {
  kUser,         // read and written in the user's file only
  kMachineWide,  // read from the user's file, else the machine file; written to both
};

struct LBoolSetting {
  std::string_view section;
  std::string_view name;
  bool defaultValue = false;
  LSettingScope scope = LSettingScope::kUser;
};

// The values a number may take: for a stored value, the range its dialog allows. Values read
// from the settings, a script or the command line are brought to the nearest end of it before
// they are used (so a hand-edited typo cannot turn into hours of audio); a dialog refuses
// what lies outside with its message.
struct LIntRange {
  int32_t min = INT32_MIN;
  int32_t max = INT32_MAX;

  constexpr bool Contains(int64_t value) const { return value >= min && value <= max; }
  constexpr int32_t Clamp(int64_t value) const {
    return static_cast<int32_t>(value < min ? min : value > max ? max : value);
  }
};

struct LIntSetting {
  std::string_view section;
  std::string_view name;
  int32_t defaultValue = 0;
  LSettingScope scope = LSettingScope::kUser;
  LIntRange range{};
};

struct LStringSetting {
  std::string_view section;
  std::string_view name;
  std::string_view defaultValue;
  LSettingScope scope = LSettingScope::kUser;
  // Texts are cut to this many characters when read; paths keep the platform's path limit.
  size_t maxCharacters = kMaxValueCharacters;
};

}  // namespace klangor
