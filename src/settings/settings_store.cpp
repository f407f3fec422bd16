#include "settings/settings_store.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "platform/folder_lock.h"
#include "platform/paths.h"
#include "platform/small_file.h"
#include "platform/text.h"
#include "settings/ini_file.h"

namespace klangor {
namespace {

const char kSettingsFolder[] = "Tessaly Audio";
const char kSettingsFileName[] = "Klangor.ini";
const char kMachineSettingsVariable[] = "KLANGOR_MACHINE_SETTINGS";
const char kDefaultMachineFile[] = "/etc/xdg/Tessaly Audio/Klangor.ini";

// How long a writer waits for another one before it gives up (the write then fails).
constexpr auto kLockWait = std::chrono::seconds(5);

// A location from the environment counts only when it is an absolute path.
std::string AbsolutePathFromEnvironment(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

bool LockForWriting(const std::string& file, LFolderLock& lock) {
  const std::string lockFile = JoinPath(FolderOf(file), "." + FileNameOf(file) + ".lock");
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  auto pause = std::chrono::milliseconds(1);
  while (!lock.TryLock(lockFile)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

std::string UserSettingsFile() {
  std::string base = AbsolutePathFromEnvironment("XDG_CONFIG_HOME");
  if (base.empty()) base = JoinPath(HomeFolder(), ".config");
  return JoinPath(JoinPath(base, kSettingsFolder), kSettingsFileName);
}

std::string MachineSettingsFile() {
  std::string file = AbsolutePathFromEnvironment(kMachineSettingsVariable);
  return file.empty() ? std::string(kDefaultMachineFile) : file;
}

int32_t SettingToInt(std::string_view text, int32_t defaultValue) {
  return LeadingIntOfText(text).value_or(defaultValue);
}

bool SettingToBool(std::string_view text, bool defaultValue) {
  if (text.empty()) return defaultValue;
  return text.front() != '0';
}

LSettingsStore::LSettingsStore(std::string userFile, std::string machineFile)
    : userFile_(std::move(userFile)), machineFile_(std::move(machineFile)) {}

LSettingsStore LSettingsStore::FromEnvironment() {
  return LSettingsStore(UserSettingsFile(), MachineSettingsFile());
}

LSettingsStore& Settings() {
  static LSettingsStore store = LSettingsStore::FromEnvironment();
  return store;
}

std::optional<std::string> LSettingsStore::Lookup(const std::string& file, std::string_view section,
                                                  std::string_view name) {
  if (file.empty()) return std::nullopt;
  std::string text;
  if (ReadSmallFile(file, &text) != LReadStatus::kRead) return std::nullopt;
  return LIniFile::Parse(text).Get(section, name);
}

std::optional<std::string> LSettingsStore::LookupWithFallback(std::string_view section,
                                                              std::string_view name) const {
  std::optional<std::string> value = Lookup(userFile_, section, name);
  return value ? value : Lookup(machineFile_, section, name);
}

std::string LSettingsStore::ReadString(std::string_view section, std::string_view name,
                                       std::string_view defaultValue, size_t maxCharacters) const {
  std::optional<std::string> value = Lookup(userFile_, section, name);
  return value ? CutToCharacters(*value, maxCharacters) : std::string(defaultValue);
}

int32_t LSettingsStore::ReadInt(std::string_view section, std::string_view name, int32_t defaultValue) const {
  std::optional<std::string> value = Lookup(userFile_, section, name);
  return value ? SettingToInt(CutToCharacters(*value, kMaxValueCharacters), defaultValue) : defaultValue;
}

bool LSettingsStore::ReadBool(std::string_view section, std::string_view name, bool defaultValue) const {
  std::optional<std::string> value = Lookup(userFile_, section, name);
  return value ? SettingToBool(*value, defaultValue) : defaultValue;
}

std::string LSettingsStore::ReadStringMachineFallback(std::string_view section, std::string_view name,
                                                      std::string_view defaultValue,
                                                      size_t maxCharacters) const {
  std::optional<std::string> value = LookupWithFallback(section, name);
  return value ? CutToCharacters(*value, maxCharacters) : std::string(defaultValue);
}

int32_t LSettingsStore::ReadIntMachineFallback(std::string_view section, std::string_view name,
                                               int32_t defaultValue) const {
  std::optional<std::string> value = LookupWithFallback(section, name);
  return value ? SettingToInt(CutToCharacters(*value, kMaxValueCharacters), defaultValue) : defaultValue;
}

bool LSettingsStore::ReadBoolMachineFallback(std::string_view section, std::string_view name,
                                             bool defaultValue) const {
  std::optional<std::string> value = LookupWithFallback(section, name);
  return value ? SettingToBool(*value, defaultValue) : defaultValue;
}

bool LSettingsStore::WriteValue(LFileKind kind, std::string_view section, std::string_view name,
                                std::string_view text) {
  const std::string& file = kind == LFileKind::kUserFile ? userFile_ : machineFile_;
  if (file.empty() || !LIniFile::ValidSectionName(section) || !LIniFile::ValidValueName(name)) return false;
  // The user's file may later hold passwords: its folder and a new file are private. The
  // machine file is for every user to read.
  const bool user = kind == LFileKind::kUserFile;
  if (!EnsureFolder(FolderOf(file), user ? 0700 : 0755)) return false;
  LFolderLock lock;
  if (!LockForWriting(file, lock)) return false;
  std::string old;
  const LReadStatus status = ReadSmallFile(file, &old);
  // A file that is there but cannot be read is left alone rather than replaced by one value.
  if (status == LReadStatus::kUnreadable) return false;
  LIniFile ini = LIniFile::Parse(old);
  if (!ini.Set(section, name, text)) return false;
  const std::string changed = ini.Text();
  if (status == LReadStatus::kRead && changed == old) return true;
  return ReplaceSmallFile(file, changed, user ? 0600 : 0644);
}

bool LSettingsStore::WriteString(std::string_view section, std::string_view name, std::string_view text) {
  return WriteValue(LFileKind::kUserFile, section, name, text);
}

bool LSettingsStore::WriteInt(std::string_view section, std::string_view name, int32_t value) {
  return WriteString(section, name, std::to_string(value));
}

bool LSettingsStore::WriteBool(std::string_view section, std::string_view name, bool value) {
  return WriteString(section, name, value ? "1" : "0");
}

bool LSettingsStore::WriteStringBoth(std::string_view section, std::string_view name, std::string_view text) {
  WriteValue(LFileKind::kMachineFile, section, name, text);
  return WriteValue(LFileKind::kUserFile, section, name, text);
}

bool LSettingsStore::WriteIntBoth(std::string_view section, std::string_view name, int32_t value) {
  return WriteStringBoth(section, name, std::to_string(value));
}

bool LSettingsStore::WriteBoolBoth(std::string_view section, std::string_view name, bool value) {
  return WriteStringBoth(section, name, value ? "1" : "0");
}

std::string LSettingsStore::Read(const LStringSetting& setting) const {
  return setting.scope == LSettingScope::kMachineWide
             ? ReadStringMachineFallback(setting.section, setting.name, setting.defaultValue,
                                         setting.maxCharacters)
             : ReadString(setting.section, setting.name, setting.defaultValue, setting.maxCharacters);
}

int32_t LSettingsStore::Read(const LIntSetting& setting) const {
  return setting.range.Clamp(setting.scope == LSettingScope::kMachineWide
                                 ? ReadIntMachineFallback(setting.section, setting.name, setting.defaultValue)
                                 : ReadInt(setting.section, setting.name, setting.defaultValue));
}

bool LSettingsStore::Read(const LBoolSetting& setting) const {
  return setting.scope == LSettingScope::kMachineWide
             ? ReadBoolMachineFallback(setting.section, setting.name, setting.defaultValue)
             : ReadBool(setting.section, setting.name, setting.defaultValue);
}

bool LSettingsStore::Write(const LStringSetting& setting, std::string_view text) {
  return setting.scope == LSettingScope::kMachineWide ? WriteStringBoth(setting.section, setting.name, text)
                                                      : WriteString(setting.section, setting.name, text);
}

bool LSettingsStore::Write(const LIntSetting& setting, int32_t value) {
  return setting.scope == LSettingScope::kMachineWide ? WriteIntBoth(setting.section, setting.name, value)
                                                      : WriteInt(setting.section, setting.name, value);
}

bool LSettingsStore::Write(const LBoolSetting& setting, bool value) {
  return setting.scope == LSettingScope::kMachineWide ? WriteBoolBoth(setting.section, setting.name, value)
                                                      : WriteBool(setting.section, setting.name, value);
}

}  // namespace klangor
