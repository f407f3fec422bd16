#include "app/recent_files.h"

#include <algorithm>

#include "frame/menu_layout.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace klangor {

std::vector<LRecentFile> RecentFiles(const LSettingsStore& settings) {
  std::vector<LRecentFile> files;
  for (int slot = 1; slot <= kRecentFileSlots; ++slot) {
    std::string path = settings.Read(kRecentFile[slot - 1]);
    if (path.empty()) continue;
    files.push_back({slot, std::move(path), settings.Read(kRecentFileDate[slot - 1])});
  }
  return files;
}

int AddRecentFile(LSettingsStore& settings, const std::string& path, int64_t now) {
  if (path.empty()) return 0;
  int chosen = 0;
  int firstEmpty = 0;
  int oldest = 1;
  int32_t oldestDate = INT32_MAX;
  for (int slot = 1; slot <= kRecentFileSlots && chosen == 0; ++slot) {
    const std::string held = settings.Read(kRecentFile[slot - 1]);
    if (held == path) {
      chosen = slot;
    } else if (held.empty()) {
      if (firstEmpty == 0) firstEmpty = slot;
    } else {
      const int32_t date = settings.Read(kRecentFileDate[slot - 1]);
      if (date < oldestDate) {
        oldestDate = date;
        oldest = slot;
      }
    }
  }
  if (chosen == 0) chosen = firstEmpty != 0 ? firstEmpty : oldest;
  settings.Write(kRecentFile[chosen - 1], path);
  settings.Write(kRecentFileDate[chosen - 1], static_cast<int32_t>(std::clamp<int64_t>(now, 0, INT32_MAX)));
  return chosen;
}

std::string RecentMenuText(const LRecentFile& file) {
  return "&" + std::to_string(file.slot) + "." + file.path;
}

int RecentCommand(int slot) { return kCmdRecentFirst + slot - 1; }

int RecentSlotOfCommand(int command) {
  return command >= kCmdRecentFirst && command <= kCmdRecentLast ? command - kCmdRecentFirst + 1 : 0;
}

}  // namespace klangor
