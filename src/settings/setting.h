#pragma once
// The record that declares one setting: where it is stored, its default, and whether it
// belongs to the machine-wide group. Every setting is declared once, in app/settings_keys.h;
// callers read and write through the record (LSettingsStore::Read and Write), so no name or
// default is repeated anywhere else.

#include <cstddef>
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

struct LIntSetting {
  std::string_view section;
  std::string_view name;
  int32_t defaultValue = 0;
  LSettingScope scope = LSettingScope::kUser;
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
