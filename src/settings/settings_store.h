#pragma once
// The settings store: text values in named sections of two INI files (see app/ini_file.h).
//
// The user's file is $XDG_CONFIG_HOME/Tessaly Audio/Klangor.ini (XDG_CONFIG_HOME defaults to
// ~/.config). The machine file, /etc/xdg/Tessaly Audio/Klangor.ini or the file named by
// KLANGOR_MACHINE_SETTINGS, holds the machine-wide group: those values are read from the
// user's file with a fall-back to the machine file, and written to the machine file first
// (a failure there is ignored) and then to the user's file. Everything else lives in the
// user's file only.
//
// Reading rules: a text is cut to 259 characters (a setting record may allow longer paths);
// an integer is the decimal number at the start of the text (after blanks and a sign;
// saturated to 32 bits), and the default when the value is missing, empty or does not start
// with a number; a declared integer setting is then brought into its range (LIntRange); a
// flag is the default when missing or empty and otherwise false exactly when the text begins
// with "0". Integers are written as decimal text, flags as "1" or "0".
//
// Writing: each write locks the file against other writers (other threads and processes, the
// editor and klangor-batch alike), reads it again, changes the one value, and replaces the file
// through a temporary file that is on disk before the rename. So a crash or a full disk never
// leaves a damaged file, no writer loses another's value, and a value written is on disk when
// the call returns. Every other line of the file is kept. A write that cannot be done (no
// folder, no access, a file that cannot be read back) changes nothing and returns false;
// callers may ignore that. Reads never fail: they give the default.
//
// The store holds no state besides the two paths, so one object may be used from any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/setting.h"

namespace klangor {

// The file locations from the environment, as described above.
std::string UserSettingsFile();
std::string MachineSettingsFile();

class LSettingsStore {
 public:
  LSettingsStore(std::string userFile, std::string machineFile);
  // On the locations that the environment names now.
  static LSettingsStore FromEnvironment();

  const std::string& UserFile() const { return userFile_; }
  const std::string& MachineFile() const { return machineFile_; }

  std::string ReadString(std::string_view section, std::string_view name, std::string_view defaultValue,
                         size_t maxCharacters = kMaxValueCharacters) const;
  int32_t ReadInt(std::string_view section, std::string_view name, int32_t defaultValue) const;
  bool ReadBool(std::string_view section, std::string_view name, bool defaultValue) const;

  // As above, but a value missing from the user's file is looked up in the machine file.
  std::string ReadStringMachineFallback(std::string_view section, std::string_view name,
                                        std::string_view defaultValue,
                                        size_t maxCharacters = kMaxValueCharacters) const;
  int32_t ReadIntMachineFallback(std::string_view section, std::string_view name, int32_t defaultValue) const;
  bool ReadBoolMachineFallback(std::string_view section, std::string_view name, bool defaultValue) const;

  bool WriteString(std::string_view section, std::string_view name, std::string_view text);
  bool WriteInt(std::string_view section, std::string_view name, int32_t value);
  bool WriteBool(std::string_view section, std::string_view name, bool value);

  // Writes to the machine file (a failure there is ignored), then to the user's file; the
  // result is that of the user's file.
  bool WriteStringBoth(std::string_view section, std::string_view name, std::string_view text);
  bool WriteIntBoth(std::string_view section, std::string_view name, int32_t value);
  bool WriteBoolBoth(std::string_view section, std::string_view name, bool value);

  // Declared settings (app/settings_keys.h): the scope and default come from the record.
  std::string Read(const LStringSetting& setting) const;
  int32_t Read(const LIntSetting& setting) const;
  bool Read(const LBoolSetting& setting) const;
  bool Write(const LStringSetting& setting, std::string_view text);
  bool Write(const LIntSetting& setting, int32_t value);
  bool Write(const LBoolSetting& setting, bool value);

 private:
  enum class LFileKind { kUserFile, kMachineFile };
  static std::optional<std::string> Lookup(const std::string& file, std::string_view section,
                                           std::string_view name);
  std::optional<std::string> LookupWithFallback(std::string_view section, std::string_view name) const;
  bool WriteValue(LFileKind kind, std::string_view section, std::string_view name, std::string_view text);

  std::string userFile_;
  std::string machineFile_;
};

// The process-wide store on the locations the environment named at its first use.
LSettingsStore& Settings();

// The reading rules above, for text already read.
int32_t SettingToInt(std::string_view text, int32_t defaultValue);
bool SettingToBool(std::string_view text, bool defaultValue);

}  // namespace klangor
