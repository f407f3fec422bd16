#include "app/document_journal.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>

#include "app/file_commands.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/folder_lock.h"
#include "platform/paths.h"
#include "store/block_store.h"

namespace klangor {
namespace {

constexpr char kMagic[] = "KLJ1";

class LWriter {
 public:
  void U32(uint32_t value) {
    uint8_t bytes[4];
    StoreLe32(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), 4);
  }
  void I32(int32_t value) { U32(static_cast<uint32_t>(value)); }
  void Text(const std::string& text) {
    U32(static_cast<uint32_t>(text.size()));
    out += text;
  }
  void Sound(const LSegmentList& sound) {
    I32(sound.SampleRate());
    I32(sound.Channels());
    U32(static_cast<uint32_t>(sound.Segments().size()));
    for (const LSegment& segment : sound.Segments()) {
      U32(segment.Block());
      I32(segment.start);
      I32(segment.length);
      I32(segment.gain);
    }
  }
  std::string out;
};

class LReader {
 public:
  explicit LReader(std::string_view bytes) : in_(bytes) {}
  bool Ok() const { return ok_; }
  uint32_t U32() {
    if (at_ + 4 > in_.size()) {
      ok_ = false;
      return 0;
    }
    const uint32_t value = LoadLe32(in_, at_);
    at_ += 4;
    return value;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  std::string Text() {
    const uint32_t size = U32();
    if (!ok_ || size > in_.size() - at_) {
      ok_ = false;
      return {};
    }
    std::string text(in_.substr(at_, size));
    at_ += size;
    return text;
  }
  bool Magic() {
    if (in_.substr(0, 4) != kMagic) return ok_ = false;
    at_ = 4;
    return true;
  }
  bool AtEnd() const { return at_ == in_.size(); }

 private:
  std::string_view in_;
  size_t at_ = 0;
  bool ok_ = true;
};

struct LSavedSegment {
  uint32_t block;
  int32_t start, length, gain;
};
struct LSavedSound {
  int32_t rate = 44100, channels = 1;
  std::vector<LSavedSegment> segments;
};
struct LSavedPositions {
  bool modified = false;
  int32_t selectionStart = 0, selectionEnd = 0, cursor = 0, visibleStart = 0, visibleEnd = 0;
};
struct LSavedSlot {
  std::string name;
  LSavedPositions positions;
  LSavedSound sound;
};
struct LSavedDocument {
  std::string name, fileName;
  LSavedPositions positions;
  int32_t displayMode = 0, verticalZoom = 0, firstMark = 0, secondMark = 0;
  LSavedSound sound;
  int32_t undoIndex = 0;
  std::vector<LSavedSlot> slots;
};

void WritePositions(LWriter& w, bool modified, int32_t a, int32_t b, int32_t cursor, int32_t vs, int32_t ve) {
  w.U32(modified ? 1 : 0);
  for (int32_t value : {a, b, cursor, vs, ve}) w.I32(value);
}

LSavedPositions ReadPositions(LReader& r) {
  LSavedPositions p;
  p.modified = r.U32() != 0;
  p.selectionStart = r.I32();
  p.selectionEnd = r.I32();
  p.cursor = r.I32();
  p.visibleStart = r.I32();
  p.visibleEnd = r.I32();
  return p;
}

LSavedSound ReadSound(LReader& r, size_t budget) {
  LSavedSound sound;
  sound.rate = r.I32();
  sound.channels = r.I32();
  const uint32_t count = r.U32();
  if (!r.Ok() || count > budget / 16) return {};  // more segments than bytes: damaged
  sound.segments.reserve(count);
  for (uint32_t i = 0; i < count && r.Ok(); ++i) {
    LSavedSegment segment{r.U32(), 0, 0, 0};
    segment.start = r.I32();
    segment.length = r.I32();
    segment.gain = r.I32();
    sound.segments.push_back(segment);
  }
  return sound;
}

std::optional<LSavedDocument> ParseJournal(std::string_view bytes) {
  LReader r(bytes);
  if (!r.Magic()) return std::nullopt;
  LSavedDocument d;
  d.name = r.Text();
  d.fileName = r.Text();
  d.positions = ReadPositions(r);
  d.displayMode = r.I32();
  d.verticalZoom = r.I32();
  d.firstMark = r.I32();
  d.secondMark = r.I32();
  d.sound = ReadSound(r, bytes.size());
  d.undoIndex = r.I32();
  for (int32_t i = 0; i < kUndoSlotCount && r.Ok(); ++i) {
    LSavedSlot slot;
    slot.name = r.Text();
    slot.positions = ReadPositions(r);
    slot.sound = ReadSound(r, bytes.size());
    d.slots.push_back(std::move(slot));
  }
  if (!r.Ok() || !r.AtEnd() || d.undoIndex < 0 || d.undoIndex >= kUndoSlotCount) return std::nullopt;
  for (const LSavedSound* sound : {&d.sound}) {
    if (sound->rate <= 0 || sound->channels < 1 || sound->channels > 255) return std::nullopt;
  }
  return d;
}

bool IsJournal(const std::string& name) {
  const std::string suffix = kJournalSuffix;
  return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<std::string> RecoveryFolders(const std::string& workingFolder) {
  std::vector<std::string> folders;
  for (const std::string& name : ListFolder(workingFolder)) {
    const std::string path = JoinPath(workingFolder, name);
    if (name.rfind(kRecoveryFolderPrefix, 0) == 0 && IsFolder(path)) folders.push_back(path);
  }
  return folders;
}

// The old block numbers of a journal mapped to blocks of the running store.
class LBlockMover {
 public:
  explicit LBlockMover(std::string folder) : folder_(std::move(folder)) {}
  ~LBlockMover() {
    // Drops the reference each new block was allocated with; the segments hold their own.
    for (const auto& [old, block] : moved_) LBlockStore::Instance().Release(block);
  }
  uint16_t Map(uint32_t old) {
    if (old >= kNoBlock) return kNoBlock;
    if (auto found = moved_.find(old); found != moved_.end()) return found->second;
    uint16_t block = kNoBlock;
    const std::string audio = JoinPath(folder_, std::to_string(old) + ".aud");
    if (FileExists(audio)) {
      block = LBlockStore::Instance().Allocate();
      if (block != kNoBlock) {
        LBlockStore& store = LBlockStore::Instance();
        const std::string peaks = JoinPath(folder_, std::to_string(old) + ".grf");
        if (std::rename(audio.c_str(), store.FileName(block, LBlockFile::kAudio).c_str()) != 0) {
          store.Release(block);
          block = kNoBlock;
        } else {
          std::rename(peaks.c_str(), store.FileName(block, LBlockFile::kPeaks).c_str());
        }
      }
    }
    moved_[old] = block;
    return block;
  }
  LSegmentList Build(const LSavedSound& saved) {
    LSegmentList sound(saved.rate, saved.channels);
    for (const LSavedSegment& s : saved.segments) {
      if (s.length <= 0) continue;
      const uint16_t block = Map(s.block);
      LSegment segment;
      if (block == kNoBlock) {
        segment = LSegment::Silence(s.length);  // a missing block reads as silence
      } else {
        LBlockStore::Instance().AddReference(block);
        segment = LSegment::AdoptBlock(block, s.start, s.length);
      }
      segment.gain = s.gain;
      sound.Append(std::move(segment));
    }
    return sound;
  }

 private:
  std::string folder_;
  std::map<uint32_t, uint16_t> moved_;
};

}  // namespace

std::string SerialiseJournal(const LSoundDocument& d) {
  LWriter w;
  w.out = kMagic;
  w.Text(d.name);
  w.Text(d.fileName);
  WritePositions(w, d.modified, d.selectionStart, d.selectionEnd, d.cursor, d.visibleStart, d.visibleEnd);
  w.I32(d.displayMode);
  w.I32(d.verticalZoom ? 1 : 0);
  w.I32(d.firstMark);
  w.I32(d.secondMark);
  w.Sound(d.sound);
  w.I32(d.undo.index);
  for (const LUndoSlot& slot : d.undo.slots) {
    w.Text(slot.name);
    WritePositions(w, slot.modified, slot.selectionStart, slot.selectionEnd, slot.cursor, slot.visibleStart,
                   slot.visibleEnd);
    w.Sound(slot.sound);
  }
  return w.out;
}

void LDocumentJournal::Update(const std::vector<LRef<LSoundDocument>>& open) {
  std::set<const LSoundDocument*> alive;
  for (const LRef<LSoundDocument>& document : open) {
    if (!document->modified) continue;  // saved work needs no journal
    alive.insert(document.Get());
    std::string image = SerialiseJournal(*document);
    auto found = entries_.find(document.Get());
    if (found == entries_.end()) found = entries_.emplace(document.Get(), LEntry{nextSerial_++, {}}).first;
    if (found->second.image == image) continue;
    const std::string path = JoinPath(folder_, std::to_string(found->second.serial) + kJournalSuffix);
    const std::string temp = path + ".tmp";
    LFile file = LFile::Open(temp, LFileMode::kCreateAlways, 0600);
    if (file.IsOpen() && file.Write(image.data(), static_cast<int64_t>(image.size()))) {
      file.Close();
      if (std::rename(temp.c_str(), path.c_str()) == 0) found->second.image = std::move(image);
    } else {
      file.Close();
      RemoveFile(temp);
    }
  }
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (alive.count(it->first) != 0) {
      ++it;
      continue;
    }
    RemoveFile(JoinPath(folder_, std::to_string(it->second.serial) + kJournalSuffix));
    it = entries_.erase(it);
  }
}

void LDocumentJournal::RemoveAll() { Update({}); }

std::string LDocumentJournal::JournalOf(const LSoundDocument& document) const {
  auto found = entries_.find(&document);
  if (found == entries_.end() || found->second.image.empty()) return {};
  return JoinPath(folder_, std::to_string(found->second.serial) + kJournalSuffix);
}

void SecureCrashedWork(const std::string& workingFolder) {
  for (const std::string& name : ListFolder(workingFolder)) {
    if (name.rfind(kBlockFolderPrefix, 0) != 0) continue;
    const std::string folder = JoinPath(workingFolder, name);
    bool journals = false;
    for (const std::string& inside : ListFolder(folder)) journals = journals || IsJournal(inside);
    if (!journals) continue;
    // Journals appear only after the process held its lock, so a free lock means it is gone.
    LFolderLock probe;
    if (!probe.TryLock(JoinPath(folder, kBlockLockFileName), /*create=*/false)) continue;
    const std::string target = JoinPath(workingFolder, kRecoveryFolderPrefix + name.substr(std::strlen(kBlockFolderPrefix)));
    std::rename(folder.c_str(), target.c_str());
  }
}

std::vector<LRecoverableDocument> FindRecoverableDocuments(const std::string& workingFolder) {
  std::vector<LRecoverableDocument> found;
  for (const std::string& folder : RecoveryFolders(workingFolder)) {
    for (const std::string& name : ListFolder(folder)) {
      if (!IsJournal(name)) continue;
      const std::string path = JoinPath(folder, name);
      std::string bytes;
      if (!ReadWholeFile(path, &bytes)) continue;
      std::optional<LSavedDocument> saved = ParseJournal(bytes);
      if (!saved) continue;
      int64_t length = 0;
      for (const LSavedSegment& segment : saved->sound.segments) length += std::max(segment.length, 0);
      LRecoverableDocument document;
      document.journal = path;
      document.name = saved->fileName.empty() ? saved->name : FileNameOf(saved->fileName);
      document.lengthFrames = static_cast<int32_t>(std::min<int64_t>(length, INT32_MAX));
      document.sampleRate = saved->sound.rate;
      found.push_back(std::move(document));
    }
  }
  return found;
}

LRef<LSoundDocument> RestoreJournal(const std::string& journal) {
  std::string bytes;
  if (!ReadWholeFile(journal, &bytes)) return {};
  std::optional<LSavedDocument> saved = ParseJournal(bytes);
  if (!saved) return {};
  LBlockMover mover(FolderOf(journal));
  auto document = MakeRef<LSoundDocument>();
  document->name = saved->name;
  document->fileName = saved->fileName;
  document->sound = mover.Build(saved->sound);
  document->modified = true;  // the work was never saved
  document->selectionStart = saved->positions.selectionStart;
  document->selectionEnd = saved->positions.selectionEnd;
  document->cursor = saved->positions.cursor;
  document->visibleStart = saved->positions.visibleStart;
  document->visibleEnd = saved->positions.visibleEnd;
  document->displayMode = saved->displayMode;
  document->verticalZoom = saved->verticalZoom != 0;
  document->firstMark = saved->firstMark;
  document->secondMark = saved->secondMark;
  document->undo.index = saved->undoIndex;
  for (size_t i = 0; i < saved->slots.size(); ++i) {
    LUndoSlot& slot = document->undo.slots[i];
    const LSavedSlot& from = saved->slots[i];
    slot.name = from.name;
    if (slot.Empty()) continue;
    slot.sound = mover.Build(from.sound);
    slot.modified = from.positions.modified;
    slot.selectionStart = from.positions.selectionStart;
    slot.selectionEnd = from.positions.selectionEnd;
    slot.cursor = from.positions.cursor;
    slot.visibleStart = from.positions.visibleStart;
    slot.visibleEnd = from.positions.visibleEnd;
  }
  document->ClampSelection();
  document->LengthChanged();
  RemoveFile(journal);
  return document;
}

void DiscardRecovery(const std::string& workingFolder) {
  for (const std::string& folder : RecoveryFolders(workingFolder)) {
    for (const std::string& name : ListFolder(folder)) RemoveFile(JoinPath(folder, name));
    ::rmdir(folder.c_str());
  }
}

}  // namespace klangor
