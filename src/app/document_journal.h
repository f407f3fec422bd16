#pragma once
// Crash recovery: every document with unsaved work keeps a journal beside its block files,
// so that the work survives a crash or a kill.
//
// A journal ("<n>.journal" in the process's block folder) holds the document's name and file
// name, its positions and flags, its segment list with rate and channels, and its undo ring
// (each slot's name, positions and segment list). It is replaced in one rename after every
// change, and removed when the document is saved, closed, or the program ends normally.
//
// At the next start, before the block store sets up (which removes the folders of processes
// that are gone), SecureCrashedWork renames every such folder that holds journals to
// "klangor-recovery-*", out of the clean-up's way. The editor then offers the documents;
// RestoreJournal moves their block files into the new process's store and rebuilds each
// document exactly; DiscardRecovery removes what is left.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "audio/ref_counted.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kRecoveryFolderPrefix[] = "klangor-recovery-";
inline constexpr char kJournalSuffix[] = ".journal";

// Keeps the journals of the open documents up to date.
class LDocumentJournal {
 public:
  // `folder`: where the journals go (the block folder).
  explicit LDocumentJournal(std::string folder) : folder_(std::move(folder)) {}
  ~LDocumentJournal() { RemoveAll(); }
  LDocumentJournal(const LDocumentJournal&) = delete;
  LDocumentJournal& operator=(const LDocumentJournal&) = delete;

  // Writes the journal of every modified document whose state changed since the last call,
  // and removes those of documents that are saved or no longer open.
  void Update(const std::vector<LRef<LSoundDocument>>& open);
  void RemoveAll();
  // The journal file of `document`, empty when it has none.
  std::string JournalOf(const LSoundDocument& document) const;

 private:
  struct LEntry {
    int serial;
    std::string image;
  };
  std::string folder_;
  std::map<const LSoundDocument*, LEntry> entries_;
  int nextSerial_ = 1;
};

// What a start finds: one journal of a crashed process.
struct LRecoverableDocument {
  std::string journal;  // its path
  std::string name;     // the document's name as windows show it
  int32_t lengthFrames = 0;
  int32_t sampleRate = 0;
};

// Moves the block folders of crashed processes that hold journals out of the clean-up's way
// (see above). Call before the block store sets up in `workingFolder`.
void SecureCrashedWork(const std::string& workingFolder);
// The documents in the secured folders of `workingFolder` (readable journals only).
std::vector<LRecoverableDocument> FindRecoverableDocuments(const std::string& workingFolder);
// The document of `journal`, its blocks moved into the running store; nothing when the
// journal is damaged.
LRef<LSoundDocument> RestoreJournal(const std::string& journal);
// Removes the secured folders of `workingFolder` with everything in them.
void DiscardRecovery(const std::string& workingFolder);

}  // namespace klangor
