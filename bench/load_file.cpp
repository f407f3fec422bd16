// klangor_load FILE...: opens each file as the editor does (OpenAudioFile, then the whole
// sound into the block store) and prints its length; scripts/bench.sh times it against the
// peer decoders writing a WAV file.

#include <iostream>

#include "docio/load_save.h"
#include "settings/settings_store.h"
#include "store/block_store.h"
#include "store/sound_document.h"

int main(int argc, char** argv) {
  using namespace klangor;
  LReportingOpenInteraction interaction([](const std::string& message) { std::cerr << message << "\n"; });
  LSilentProgress progress;
  LOpenContext context(Settings(), interaction, progress);
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    auto document = MakeRef<LSoundDocument>();
    bool prompt = true;
    if (LoadAudioFile(argv[i], prompt, context, *document) != LResult::kDone) {
      status = 2;
      continue;
    }
    std::cout << argv[i] << ": " << document->Length() << " frames\n";
  }
  LBlockStore::Instance().CleanUp();
  return status;
}
