#pragma once
// Batch script files (".klb"): a version byte 0, then the command records one after another
// (command number, data length, data; little-endian 32-bit numbers), with no count and no
// terminator.

#include <string>
#include <vector>

#include "batch/batch_command.h"

namespace klangor {

enum class LScriptStatus {
  kLoaded,        // the records (possibly none)
  kCannotOpen,    // the file is missing or unreadable
  kWrongVersion,  // the first byte is not 0 (or there is none): an empty list
};

struct LScriptLoad {
  LScriptStatus status = LScriptStatus::kCannotOpen;
  std::vector<LBatchCommand> commands;
};

// Reads records until the end; a record cut short keeps what could be read of its data, and
// a data length beyond the end of the file never allocates more than the file holds.
LScriptLoad ParseBatchScript(const std::string& bytes);
LScriptLoad LoadBatchScript(const std::string& path);

std::string SerialiseBatchScript(const std::vector<LBatchCommand>& commands);
// Writes the script (replacing an existing file only when the whole script was written).
bool SaveBatchScript(const std::string& path, const std::vector<LBatchCommand>& commands);

inline constexpr char kScriptVersionMessage[] =
    "Diese Datei passt nicht zur aktuellen Klangor Version oder sie ist beschädigt.";
inline constexpr char kScriptCannotSaveMessage[] =
    "Klangor kann diese Datei nicht öffnen. Diese Datei existiert nicht oder ist möglicherweise beschädigt.";
inline constexpr char kScriptErrorCaption[] = "Fehler in der Datei";

}  // namespace klangor
