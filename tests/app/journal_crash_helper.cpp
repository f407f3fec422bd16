// A process that edits a sound, keeps its journal and is then killed: the crash that the
// journal test recovers from.
//   journal_crash_helper WORKING_FOLDER INPUT.wav EXPECTED.raw
// Writes the edited sound's samples (32-bit little-endian) to EXPECTED.raw, then SIGKILLs itself.

#include <signal.h>

#include <fstream>
#include <vector>

#include "app/document_journal.h"
#include "docio/load_save.h"
#include "formats/format_table.h"
#include "store/block_store.h"
#include "store/segment_stream.h"
#include "store/undo.h"

int main(int argc, char** argv) {
  using namespace klangor;
  if (argc != 4) return 2;
  if (!LBlockStore::Instance().SetWorkingFolder(argv[1])) return 3;
  std::string message;
  LRef<LSoundStream> stream = OpenByExtension(argv[2], LFormatSettings{}, &message);
  auto document = MakeRef<LSoundDocument>();
  document->fileName = argv[2];
  LSilentProgress progress;
  if (LoadStream(stream, argv[2], document->sound, progress) != LResult::kDone) return 4;
  stream.Reset();
  LDocumentJournal journal(LBlockStore::Instance().BlockFolder());
  // Three edits, each journaled as the editor does after a command.
  PushUndo(*document, "Löschen");
  document->sound.DeleteRange(1000, 3000);
  document->modified = true;
  journal.Update({document});
  PushUndo(*document, "Anpassen");
  document->sound.ScaleRangeGain(0, 2000, 50);
  journal.Update({document});
  PushUndo(*document, "Stille");
  document->sound.InsertSilence(500, 700);
  document->SetSelection(100, 900, 400);
  journal.Update({document});

  LRef<LSoundStream> reader = OpenSegmentStream(document->sound);
  std::vector<int32_t> samples(static_cast<size_t>(document->Length()) * document->sound.Channels());
  reader->Read(samples.data(), document->Length());
  std::ofstream(argv[3], std::ios::binary)
      .write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 4));
  ::raise(SIGKILL);
  return 0;
}
