#include "formats/readable_file.h"

#include <sys/stat.h>

namespace klangor {

LFile OpenReadableFile(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return LFile();
  return LFile::Open(path, LFileMode::kRead);
}

}  // namespace klangor
