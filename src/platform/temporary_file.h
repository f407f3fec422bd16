#pragma once
// Files of our own in the private temporary folder (platform/paths.h: TemporaryFolder), each
// created exclusively (an existing name or a link there is never opened) and removed, with its
// lock file, when the object goes.
//
// Two kinds:
// - scratch files with a name no other process uses ("<role>-<pid>-<count>");
// - numbered files "<stem><n><extension>" for n = 1, 2, ..., each claimed through the lock
//   file "<stem><n>.lck", which is locked (flock) while the object lives. A number whose lock
//   another process holds is passed over; a file of that number left behind by a process that
//   ended (its lock is free) is deleted and its name taken anew.

#include <cstdint>
#include <string>

#include "platform/file.h"

namespace klangor {

class LTemporaryFile {
 public:
  LTemporaryFile() = default;
  // A scratch file for `role` (a word that appears in its name).
  explicit LTemporaryFile(const std::string& role);
  // The first free numbered file in `folder` (empty: the temporary folder).
  static LTemporaryFile CreateNumbered(const std::string& stem, const std::string& extension,
                                       const std::string& folder = {});
  ~LTemporaryFile();
  LTemporaryFile(LTemporaryFile&& other) noexcept;
  LTemporaryFile& operator=(LTemporaryFile&& other) noexcept;
  LTemporaryFile(const LTemporaryFile&) = delete;
  LTemporaryFile& operator=(const LTemporaryFile&) = delete;

  // False when no file could be created (no safe temporary folder, no number left, ...).
  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& Path() const { return path_; }
  int Number() const { return number_; }  // 0 for scratch files

  // The read-and-write handle the file was created with.
  LFile& File() { return file_; }
  bool Append(const void* data, int64_t bytes) { return file_.Write(data, bytes); }
  // A second handle for reading, independent of the writing one.
  LFile OpenForReading() const { return LFile::Open(path_, LFileMode::kRead); }

  // Removes the file and its lock now (handles opened on it keep reading the data).
  void Remove();

 private:
  void ReleaseLock();

  std::string path_;
  std::string lockPath_;
  LFile file_;
  int lockFd_ = -1;
  int number_ = 0;
};

}  // namespace klangor
