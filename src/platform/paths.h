#pragma once
// Program folders and path helpers.
//
// The data folder holds the small data files of the program and is the default working
// folder of the block store: $XDG_DATA_HOME/Tessaly Audio/Klangor (XDG_DATA_HOME defaults to
// ~/.local/share). The temporary folder is private to the user: $TMPDIR/klangor-$UID, mode
// 0700, refused when it is a link or belongs to someone else.

#include <cstdint>
#include <string>
#include <vector>

namespace klangor {

// The platform's limit for a path; texts that the program builds are cut to it.
inline constexpr size_t kMaxPathLength = 4095;

// Joins with one "/" unless `folder` is empty or already ends in a separator.
std::string JoinPath(const std::string& folder, const std::string& name);
// The part after the last "/" (the whole text when there is none).
std::string FileNameOf(const std::string& path);
// The part before the last "/" ("." when there is none).
std::string FolderOf(const std::string& path);

// Creates `path` and its missing parents with `mode`; true when it exists as a folder.
bool EnsureFolder(const std::string& path, unsigned mode = 0755);
// The names in a folder, without "." and ".."; empty when it cannot be read.
std::vector<std::string> ListFolder(const std::string& path);
bool IsFolder(const std::string& path);

// Bytes available to the user on the file system that holds `path`; -1 when unknown.
int64_t FreeBytesAvailable(const std::string& path);

std::string HomeFolder();
std::string DataFolder();              // created when missing
std::string DataFolderPath();          // the same, not created (for reading)
std::string DefaultWorkingFolder();    // the data folder
std::string TemporaryFolder();         // created when missing; empty when it is unsafe

}  // namespace klangor
