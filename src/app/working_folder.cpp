#include "app/working_folder.h"

#include <unistd.h>

#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "store/block_store.h"

namespace klangor {
namespace {

bool Usable(const std::string& folder) {
  return !folder.empty() && folder.front() == '/' && EnsureFolder(folder) &&
         ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string ExpandHome(const std::string& path) {
  if (path == "~") return HomeFolder();
  if (path.rfind("~/", 0) == 0) return JoinPath(HomeFolder(), path.substr(2));
  return path;
}

}  // namespace

std::string ChooseWorkingFolder(const LSettingsStore& settings) {
  if (!settings.Read(kUseDefaultWorkingDir)) {
    const std::string folder = ExpandHome(settings.Read(kWorkingFolder));
    if (Usable(folder)) return folder;
  }
  return DefaultWorkingFolder();
}

std::string PrepareWorkingFolder(const LSettingsStore& settings) {
  LBlockStore& store = LBlockStore::Instance();
  const std::string folder = ChooseWorkingFolder(settings);
  if (store.SetWorkingFolder(folder)) return folder;
  const std::string fallback = DefaultWorkingFolder();
  if (fallback != folder && store.SetWorkingFolder(fallback)) return fallback;
  return {};
}

}  // namespace klangor
