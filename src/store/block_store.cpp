#include "store/block_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include <cstdlib>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"

namespace klangor {
namespace {


bool HasSuffix(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int64_t ModifiedSecondsAgo(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(::time(nullptr)) - static_cast<int64_t>(info.st_mtime);
}

}  // namespace

LBlockStore& LBlockStore::Instance() {
  static LBlockStore store;
  return store;
}

LBlockStore::~LBlockStore() { CleanUp(); }

void LBlockStore::DeleteBlockFolder(const std::string& folder) {
  // Only what the store itself puts there is deleted; anything else keeps the folder alive.
  for (const std::string& name : ListFolder(folder)) {
    if (HasSuffix(name, ".aud") || HasSuffix(name, ".grf") || name == kBlockLockFileName) {
      RemoveFile(JoinPath(folder, name));
    }
  }
  ::rmdir(folder.c_str());
}

void LBlockStore::RemoveStaleBlockFolders(const std::string& folder) {
  for (const std::string& name : ListFolder(folder)) {
    if (name.rfind(kBlockFolderPrefix, 0) != 0) continue;
    std::string candidate = JoinPath(folder, name);
    if (!IsFolder(candidate)) continue;
    // A folder changed within the last minute may belong to a process that is creating it and
    // has not locked its lock file yet; it is left for a later clean-up.
    if (ModifiedSecondsAgo(candidate) < 60) continue;
    LFolderLock probe;
    std::string lockFile = JoinPath(candidate, kBlockLockFileName);
    if (FileExists(lockFile) && !probe.TryLock(lockFile, /*create=*/false)) continue;  // alive
    DeleteBlockFolder(candidate);
  }
}

bool LBlockStore::SetWorkingFolder(const std::string& folder) {
  std::lock_guard<std::mutex> guard(folderMutex_);
  return SetWorkingFolderLocked(folder);
}

bool LBlockStore::SetWorkingFolderLocked(const std::string& folder) {
  if (!blockFolder_.empty()) {
    DeleteBlockFolder(blockFolder_);
    folderLock_.Unlock();
    blockFolder_.clear();
  }
  workingFolder_ = folder;
  if (!EnsureFolder(folder)) return false;
  RemoveStaleBlockFolders(folder);
  std::string pattern = JoinPath(folder, std::string(kBlockFolderPrefix) + "XXXXXX");
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) return false;
  std::string made = buffer.data();
  if (!folderLock_.TryLock(JoinPath(made, kBlockLockFileName), /*create=*/true)) {
    ::rmdir(made.c_str());
    return false;
  }
  blockFolder_ = made;
  return true;
}

void LBlockStore::EnsureFolderLocked() {
  if (blockFolder_.empty() && workingFolder_.empty()) SetWorkingFolderLocked(DefaultWorkingFolder());
}

std::string LBlockStore::WorkingFolder() {
  std::lock_guard<std::mutex> guard(folderMutex_);
  EnsureFolderLocked();
  return workingFolder_;
}

std::string LBlockStore::BlockFolder() {
  std::lock_guard<std::mutex> guard(folderMutex_);
  EnsureFolderLocked();
  return blockFolder_;
}

std::string LBlockStore::FileName(uint16_t block, LBlockFile kind) {
  if (block == kNoBlock) return {};
  std::string folder = BlockFolder();
  if (folder.empty()) return {};
  return JoinPath(folder, std::to_string(block) + (kind == LBlockFile::kAudio ? ".aud" : ".grf"));
}

uint16_t LBlockStore::Allocate() {
  std::lock_guard<std::mutex> guard(countMutex_);
  for (uint32_t n = 0; n < kNoBlock; ++n) {
    if (counts_[n] == 0) {
      counts_[n] = 1;
      return static_cast<uint16_t>(n);
    }
  }
  return kNoBlock;
}

void LBlockStore::AddReference(uint16_t block) {
  if (block == kNoBlock) return;
  std::lock_guard<std::mutex> guard(countMutex_);
  if (counts_[block] < 65535) ++counts_[block];
}

void LBlockStore::Release(uint16_t block) {
  if (block == kNoBlock) return;
  {
    std::lock_guard<std::mutex> guard(countMutex_);
    if (counts_[block] > 1) {
      if (counts_[block] < 65535) --counts_[block];
      return;
    }
    // The number stays taken while its files are deleted outside the lock: handed out
    // earlier, a writer on another thread would create its new files first and lose them
    // to this deletion.
    counts_[block] = 1;
  }
  RemoveFile(FileName(block, LBlockFile::kAudio));
  RemoveFile(FileName(block, LBlockFile::kPeaks));
  std::lock_guard<std::mutex> guard(countMutex_);
  counts_[block] = 0;
}

uint16_t LBlockStore::ReferenceCount(uint16_t block) {
  std::lock_guard<std::mutex> guard(countMutex_);
  return counts_[block];
}

void LBlockStore::CleanUp() {
  std::lock_guard<std::mutex> guard(folderMutex_);
  if (!blockFolder_.empty()) {
    DeleteBlockFolder(blockFolder_);
    folderLock_.Unlock();
    blockFolder_.clear();
  }
  if (!workingFolder_.empty()) RemoveStaleBlockFolders(workingFolder_);
  workingFolder_.clear();
  std::lock_guard<std::mutex> countGuard(countMutex_);
  counts_.fill(0);
}

}  // namespace klangor
