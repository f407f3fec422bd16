#pragma once
// The process-wide store of numbered block files.
//
// A block is written once by an LBlockWriter and never changed: "<n>.aud" holds its frames
// (signed 32-bit little-endian samples, channels interleaved, no header) and "<n>.grf" its
// peak summary. Block numbers 0 to 65534 name blocks; 65535 means "no block" (silence).
// The store counts the references to each block; when the last one goes, both files are
// deleted. A count of 65535 is sticky: such a block lives until the process ends.
//
// Every process keeps its blocks in a private subfolder of the working folder, held by a
// lock while the process lives, so two processes with the same working folder never touch
// each other's blocks. Subfolders whose lock is free and that have not changed for a minute
// are leftovers of a crashed process and are removed at start and at exit (a younger one may
// belong to a process that has made it but not yet locked it).
//
// Thread safety: every count change is made under one lock; file deletion happens outside
// it. The working folder is set once at start-up, before any block exists.

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/folder_lock.h"

namespace klangor {

inline constexpr uint16_t kNoBlock = 65535;
// The names of a process's subfolder ("klangor-blocks-" and six characters) and of its lock.
inline constexpr char kBlockFolderPrefix[] = "klangor-blocks-";
inline constexpr char kBlockLockFileName[] = "lock";

enum class LBlockFile { kAudio, kPeaks };

class LBlockStore {
 public:
  static LBlockStore& Instance();

  // Chooses the working folder (created when missing) and this process's subfolder in it.
  // Without a call, the first use takes the default working folder. False when no private
  // subfolder can be made there.
  bool SetWorkingFolder(const std::string& folder);
  std::string WorkingFolder();
  // The private subfolder that holds this process's block files.
  std::string BlockFolder();

  // The path of a block's audio or peak file; empty for kNoBlock.
  std::string FileName(uint16_t block, LBlockFile kind);

  // The lowest free number with its count set to 1, or kNoBlock when all are in use.
  uint16_t Allocate();
  void AddReference(uint16_t block);
  void Release(uint16_t block);
  uint16_t ReferenceCount(uint16_t block);

  // Deletes this process's block files and subfolder and the leftovers of crashed
  // processes. Runs at exit; after it, the store starts afresh on the next use.
  void CleanUp();

  // Subfolders of `folder` left by processes that no longer run are removed.
  static void RemoveStaleBlockFolders(const std::string& folder);

  ~LBlockStore();

 private:
  LBlockStore() = default;
  bool SetWorkingFolderLocked(const std::string& folder);
  void EnsureFolderLocked();
  static void DeleteBlockFolder(const std::string& folder);

  std::mutex folderMutex_;
  std::string workingFolder_;
  std::string blockFolder_;
  LFolderLock folderLock_;

  std::mutex countMutex_;
  std::array<uint16_t, 65536> counts_{};
};

}  // namespace klangor
