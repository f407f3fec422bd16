#pragma once
// The recent-file list: 11 slots in section "Recent" ("RecentFile %d", "RecentFileDate%d").
//
// Adding a path reuses the slot that holds exactly that text, else takes the first empty
// slot, else replaces the slot with the oldest date; the slot gets the path and `now`
// (seconds). The menu shows the filled slots as "&%d.%s" with commands 1050 + slot - 1.

#include <cstdint>
#include <string>
#include <vector>

namespace klangor {

class LSettingsStore;

struct LRecentFile {
  int slot = 0;  // 1..11
  std::string path;
  int32_t date = 0;
};

// The filled slots in slot order.
std::vector<LRecentFile> RecentFiles(const LSettingsStore& settings);
// Enters `path`; returns the slot used (0 for an empty path).
int AddRecentFile(LSettingsStore& settings, const std::string& path, int64_t now);
// The menu text of a slot: "&3.name.wav".
std::string RecentMenuText(const LRecentFile& file);
// The command of a slot, and the slot of a command (0 when it is none).
int RecentCommand(int slot);
int RecentSlotOfCommand(int command);

}  // namespace klangor
