#pragma once
// The messages shown when a file cannot be opened or saved ("%s" is the file name).

#include <string>

#include "audio/sound_stream.h"

namespace klangor {

std::string CorruptFileMessage(const std::string& fileName);
std::string AccessFileMessage(const std::string& fileName);
std::string CodecMissingMessage(const std::string& fileName);
std::string PlainOpenMessage(const std::string& fileName);
// A file whose format Klangor cannot read.
std::string UnsupportedFormatMessage(const std::string& fileName);
std::string CannotCreateMessage(const std::string& fileName);
// A save refused before writing because the file would not fit on its disk.
std::string NoSpaceToSaveMessage(const std::string& fileName);

// The message for a WAV file whose stream came back with `state` (empty for kOk).
std::string WaveOpenMessage(LStreamState state, const std::string& fileName);

// The message for a file of the format `extension` (lower case, without the dot) whose
// stream came back with `state` (empty for kOk). Extensions without a rule of their own get
// the WAV file's messages.
std::string OpenMessage(const std::string& extension, LStreamState state, const std::string& fileName);

}  // namespace klangor
