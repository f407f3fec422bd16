#pragma once
// The key-binding file "keys.dat" in the default working folder.
//
// Layout: byte 0 is the format version and must be 0. Records follow until the end of the
// file: the key code (32-bit little-endian: the key with the modifier bits below), a count n
// (one byte), then n command numbers (32-bit little-endian each). A record cut short ends the
// list; the records before it stay. Bindings keep the file's order (the first binding of a key
// wins when the key table looks one up).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/key_code.h"

namespace klangor {

inline constexpr char kKeyFileName[] = "keys.dat";
inline constexpr uint8_t kKeyFileVersion = 0;
// The message for a file of another version, shown in a box with the title below.
inline constexpr char kKeyFileVersionMessage[] =
    "Diese Datei passt nicht zur aktuellen Klangor Version oder sie ist beschädigt.";
inline constexpr char kKeyFileErrorTitle[] = "Fehler in der Datei";
// A record holds at most this many commands (its count is one byte).
inline constexpr size_t kMaxCommandsPerKey = 255;

struct LKeyBinding {
  uint32_t keyCode = 0;
  std::vector<int32_t> commands;

  friend bool operator==(const LKeyBinding&, const LKeyBinding&) = default;
};

enum class LKeyFileStatus {
  kLoaded,        // the bindings of the file (maybe none)
  kMissing,       // no file, or an empty one: no bindings, nothing to report
  kWrongVersion,  // another version, or a file that cannot be read: show the message
};

struct LKeyFileResult {
  LKeyFileStatus status = LKeyFileStatus::kMissing;
  std::vector<LKeyBinding> bindings;
};

LKeyFileResult ParseKeyFile(std::string_view bytes);
LKeyFileResult ReadKeyFile(const std::string& path);

// The file image of `bindings`; a binding with more than 255 commands keeps the first 255.
std::string SerialiseKeyFile(const std::vector<LKeyBinding>& bindings);
// Replaces the file in one step (the old one stays whole when writing fails).
bool WriteKeyFile(const std::string& path, const std::vector<LKeyBinding>& bindings);

// "keys.dat" in the default working folder.
std::string KeyFilePath();

}  // namespace klangor
