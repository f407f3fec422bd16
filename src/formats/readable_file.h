#pragma once
// Opening an input file for the readers of this folder.

#include <string>

#include "platform/file.h"

namespace klangor {

// `path` opened for reading when it is a regular file; otherwise a closed handle. Only
// regular files are opened: a FIFO would block until a writer appears, and devices have no
// size to bound a reader.
LFile OpenReadableFile(const std::string& path);

}  // namespace klangor
