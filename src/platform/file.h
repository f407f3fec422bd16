#pragma once
// A file handle with 64-bit byte offsets. Sequential reads and writes go through an own
// position (so one handle can alternate between reading and writing), positioned reads
// and writes leave that position alone. Short reads and EINTR are handled inside.

#include <cstdint>
#include <string>

namespace klangor {

enum class LFileMode {
  kRead,             // existing file, read only
  kReadWrite,        // existing file, read and write
  kOpenOrCreate,     // read and write; created when missing, contents kept
  kCreateAlways,     // read and write; created when missing, emptied when present
  kCreateExclusive,  // read and write; fails when the name exists (also for links)
};

class LFile {
 public:
  LFile() = default;
  ~LFile();
  LFile(LFile&& other) noexcept;
  LFile& operator=(LFile&& other) noexcept;
  LFile(const LFile&) = delete;
  LFile& operator=(const LFile&) = delete;

  // Opens `path`; check IsOpen(), and OpenError() for the errno of a failure.
  static LFile Open(const std::string& path, LFileMode mode, int permissions = 0644);

  bool IsOpen() const { return fd_ >= 0; }
  int OpenError() const { return openError_; }
  int Descriptor() const { return fd_; }
  void Close();

  // Reads up to `bytes` at `offset`; returns the bytes read (fewer only at the end of the
  // file) or -1 on an error.
  int64_t ReadAt(int64_t offset, void* buffer, int64_t bytes) const;
  // Writes all `bytes` at `offset`; false when not everything could be written.
  bool WriteAt(int64_t offset, const void* buffer, int64_t bytes);

  // Sequential access at the handle's own position.
  int64_t Read(void* buffer, int64_t bytes);
  bool Write(const void* buffer, int64_t bytes);
  void SetPosition(int64_t offset) { position_ = offset < 0 ? 0 : offset; }
  int64_t Position() const { return position_; }

  int64_t Size() const;  // -1 when unknown
  bool Truncate(int64_t bytes);
  bool Sync();

 private:
  explicit LFile(int fd) : fd_(fd) {}
  int fd_ = -1;
  int openError_ = 0;
  int64_t position_ = 0;
};

// Whole-file helpers for small files (settings, data files, test images).
bool ReadWholeFile(const std::string& path, std::string* contents);
bool FileExists(const std::string& path);
bool RemoveFile(const std::string& path);

}  // namespace klangor
