#include "platform/paths.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace klangor {
namespace {

// An environment variable that names a folder; relative paths are ignored, as the XDG base
// directory rules say.
std::string EnvFolderOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? std::string(value) : fallback;
}

const char kVendorFolder[] = "Tessaly Audio";
const char kProgramFolder[] = "Klangor";

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
  std::string result = folder;
  if (!result.empty() && result.back() != '/') result += '/';
  result += name;
  if (result.size() > kMaxPathLength) result.resize(kMaxPathLength);
  return result;
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool EnsureFolder(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  if (IsFolder(path)) return true;
  std::string parent = FolderOf(path);
  if (parent != path && parent != "." && parent != "/" && !EnsureFolder(parent, 0755)) return false;
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return false;
  return IsFolder(path);
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

int64_t FreeBytesAvailable(const std::string& path) {
  struct statvfs info;
  if (path.empty() || ::statvfs(path.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  if (passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/tmp";
}

std::string DataFolderPath() {
  std::string base = EnvFolderOr("XDG_DATA_HOME", JoinPath(HomeFolder(), ".local/share"));
  return JoinPath(JoinPath(base, kVendorFolder), kProgramFolder);
}

std::string DataFolder() {
  std::string folder = DataFolderPath();
  EnsureFolder(folder);
  return folder;
}

std::string DefaultWorkingFolder() { return DataFolder(); }

std::string TemporaryFolder() {
  std::string base = EnvFolderOr("TMPDIR", "/tmp");
  std::string folder = JoinPath(base, "klangor-" + std::to_string(::getuid()));
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  // Only a real folder of ours with no access for others is safe for temporary files.
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
    return {};
  }
  if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return {};
  return folder;
}

}  // namespace klangor
